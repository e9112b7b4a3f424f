#include "TolvaneTheme.h"

#include "core/Resources.h"

#include <QApplication>
#include <QFile>
#include <QFontDatabase>
#include <QStyleFactory>
#include <QToolTip>

namespace TolvaneTheme {

namespace {

QColor rgb(double red, double green, double blue)
{
    return QColor::fromRgbF(float(red), float(green), float(blue));
}

QColor withAlpha(QColor colour, double alpha)
{
    colour.setAlphaF(float(alpha));
    return colour;
}

QString& registeredFamily()
{
    static QString family;
    return family;
}

} // namespace

const QColor& nsBackground()
{
    static const QColor colour = rgb(0.025, 0.105, 0.135);
    return colour;
}

const QColor& background()
{
    return nsBackground();
}

const QColor& panel()
{
    static const QColor colour = rgb(0.045, 0.15, 0.18);
    return colour;
}

const QColor& raised()
{
    static const QColor colour = rgb(0.08, 0.21, 0.25);
    return colour;
}

const QColor& ink()
{
    static const QColor colour = rgb(0.96, 0.94, 0.88);
    return colour;
}

const QColor& muted()
{
    static const QColor colour = rgb(0.67, 0.76, 0.77);
    return colour;
}

const QColor& accent()
{
    static const QColor colour = rgb(0.61, 0.91, 0.85);
    return colour;
}

QPalette darkPalette()
{
    QPalette palette;
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        const bool disabled = group == QPalette::Disabled;
        const QColor text = disabled ? withAlpha(muted(), 0.55) : ink();
        palette.setColor(group, QPalette::Window, background());
        palette.setColor(group, QPalette::WindowText, text);
        palette.setColor(group, QPalette::Base, panel());
        palette.setColor(group, QPalette::AlternateBase, raised());
        palette.setColor(group, QPalette::Text, text);
        palette.setColor(group, QPalette::PlaceholderText, withAlpha(muted(), 0.7));
        palette.setColor(group, QPalette::Button, raised());
        palette.setColor(group, QPalette::ButtonText, text);
        palette.setColor(group, QPalette::BrightText, ink());
        palette.setColor(group, QPalette::Light, raised().lighter(140));
        palette.setColor(group, QPalette::Midlight, raised().lighter(115));
        palette.setColor(group, QPalette::Mid, panel());
        palette.setColor(group, QPalette::Dark, background().darker(130));
        palette.setColor(group, QPalette::Shadow, QColor(0, 0, 0, 160));
        palette.setColor(group, QPalette::Highlight, disabled ? panel() : accent());
        palette.setColor(group, QPalette::HighlightedText, background());
        palette.setColor(group, QPalette::ToolTipBase, panel());
        palette.setColor(group, QPalette::ToolTipText, ink());
        palette.setColor(group, QPalette::Link, accent());
        palette.setColor(group, QPalette::LinkVisited, accent().darker(115));
    }
    return palette;
}

void apply(QApplication& app)
{
    app.setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    app.setPalette(darkPalette());
    // A desktop theme gives tooltips colours of their own, which would win over the
    // application's; a palette of the tooltip's own wins over both, also after a theme change.
    QToolTip::setPalette(darkPalette());
    registerFonts();
    app.setFont(font(TextStyle::body));
}

QImage artwork(const QString& name)
{
    // Deliberately uncached: a replaced file shows on the next call.
    return QImage(Resources::path(name + QStringLiteral(".png")));
}

QIcon applicationIcon()
{
    const QString file = Resources::path(QStringLiteral("tolvane.svg"));
    return QFile::exists(file) ? QIcon(file) : QIcon();
}

void registerFonts()
{
    if (registeredFamily().isEmpty())
        registeredFamily() = registerFonts(Resources::folder());
}

QString registerFonts(const QString& folder)
{
    for (const char* extension : {".ttf", ".otf"}) {
        const QString file =
            folder + QStringLiteral("/BebasNeue-Regular") + QLatin1String(extension);
        if (!QFile::exists(file))
            continue;
        const int id = QFontDatabase::addApplicationFont(file);
        const QStringList families =
            id < 0 ? QStringList() : QFontDatabase::applicationFontFamilies(id);
        if (!families.isEmpty())
            return families.first();
    }
    return {};
}

QString displayFamily()
{
    const QString& family = registeredFamily();
    return family.isEmpty() ? QStringLiteral("Bebas Neue") : family;
}

QFont displayFont(int pixelSize)
{
    QFont font(displayFamily());
    font.setPixelSize(pixelSize);
    return font;
}

QFont font(TextStyle style)
{
    QFont font = QApplication::font();
    font.setWeight(QFont::Normal);
    switch (style) {
    case TextStyle::caption:
        font.setPixelSize(10);
        break;
    case TextStyle::caption2:
        font.setPixelSize(10);
        font.setWeight(QFont::Medium);
        break;
    case TextStyle::subheadline:
        font.setPixelSize(11);
        break;
    case TextStyle::callout:
        font.setPixelSize(12);
        break;
    case TextStyle::body:
        font.setPixelSize(13);
        break;
    case TextStyle::headline:
        font.setPixelSize(13);
        font.setWeight(QFont::Bold);
        break;
    case TextStyle::title2:
        font.setPixelSize(17);
        break;
    }
    return font;
}

bool reduceMotion()
{
    return qEnvironmentVariable("TOLVANE_REDUCE_MOTION") == QLatin1String("1");
}

} // namespace TolvaneTheme
