#include "Symbols.h"

#include "TolvaneTheme.h"

#include <QGuiApplication>
#include <QHash>
#include <QPainter>
#include <QPixmapCache>
#include <QSvgRenderer>

namespace Symbols {

namespace {

// Symbol name -> bundled file; "f:" marks the filled variant.
const QHash<QString, QString>& files()
{
    static const QHash<QString, QString> table = {
        {QStringLiteral("sparkles"), QStringLiteral("sparkles")},
        {QStringLiteral("plus"), QStringLiteral("plus")},
        {QStringLiteral("trash"), QStringLiteral("trash")},
        {QStringLiteral("folder"), QStringLiteral("folder")},
        {QStringLiteral("key"), QStringLiteral("key")},
        {QStringLiteral("clock"), QStringLiteral("clock")},
        {QStringLiteral("photo.stack"), QStringLiteral("library-photo")},
        {QStringLiteral("lock.shield"), QStringLiteral("shield-lock")},
        {QStringLiteral("checkmark.circle"), QStringLiteral("circle-check")},
        {QStringLiteral("checkmark.circle.fill"), QStringLiteral("f:circle-check")},
        {QStringLiteral("exclamationmark.triangle.fill"), QStringLiteral("f:alert-triangle")},
        {QStringLiteral("arrow.counterclockwise"), QStringLiteral("rotate")},
        {QStringLiteral("point.topleft.down.curvedto.point.bottomright.up"),
         QStringLiteral("vector-bezier-2")},
        {QStringLiteral("key.fill"), QStringLiteral("f:key")},
        {QStringLiteral("arrow.down.circle"), QStringLiteral("circle-arrow-down")},
        {QStringLiteral("slider.horizontal.3"), QStringLiteral("adjustments-horizontal")},
        {QStringLiteral("stop.fill"), QStringLiteral("f:player-stop")},
        {QStringLiteral("arrow.triangle.2.circlepath"), QStringLiteral("refresh")},
        {QStringLiteral("checkmark.shield"), QStringLiteral("shield-check")},
        {QStringLiteral("checkmark.shield.fill"), QStringLiteral("f:shield-check")},
        {QStringLiteral("info.circle"), QStringLiteral("info-circle")},
        {QStringLiteral("arrow.up.right"), QStringLiteral("arrow-up-right")},
        {QStringLiteral("stack-2"), QStringLiteral("stack-2")},
    };
    return table;
}

QString resourcePath(const QString& name)
{
    const QString file = files().value(name);
    if (file.isEmpty())
        return {};
    if (file.startsWith(QLatin1String("f:")))
        return QStringLiteral(":/symbols/filled/") + file.mid(2) + QStringLiteral(".svg");
    return QStringLiteral(":/symbols/outline/") + file + QStringLiteral(".svg");
}

QPixmap render(const QString& path, const QColor& colour, int px, qreal ratio)
{
    QSvgRenderer renderer(path);
    if (!renderer.isValid())
        return {};
    const int side = qMax(1, qRound(px * ratio));
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter, QRectF(0, 0, side, side));
    // The drawing's coverage in one flat colour, whatever colours the file uses.
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(image.rect(), colour);
    painter.end();
    QPixmap pixmap = QPixmap::fromImage(std::move(image));
    pixmap.setDevicePixelRatio(ratio);
    return pixmap;
}

} // namespace

QPixmap pixmap(const QString& name, const QColor& colour, int px)
{
    const QString path = resourcePath(name);
    if (path.isEmpty() || px <= 0)
        return {};
    const qreal ratio = qGuiApp ? qGuiApp->devicePixelRatio() : 1.0;
    const QString key = QStringLiteral("symbol:%1:%2:%3:%4")
                            .arg(name, colour.name(QColor::HexArgb))
                            .arg(px)
                            .arg(ratio);
    QPixmap cached;
    if (QPixmapCache::find(key, &cached))
        return cached;
    cached = render(path, colour, px, ratio);
    if (!cached.isNull())
        QPixmapCache::insert(key, cached);
    return cached;
}

QIcon icon(const QString& name, const QColor& colour, int px)
{
    QIcon result;
    const QPixmap normal = pixmap(name, colour, px);
    if (normal.isNull())
        return result;
    result.addPixmap(normal, QIcon::Normal);
    // Dimmed as well as greyed: muted alone is too close to ink to read as disabled.
    QColor disabled = TolvaneTheme::muted();
    disabled.setAlphaF(0.45f);
    result.addPixmap(pixmap(name, disabled, px), QIcon::Disabled);
    return result;
}

} // namespace Symbols
