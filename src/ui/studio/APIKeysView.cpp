#include "APIKeysView.h"

#include "cloud/APIKeyConnection.h"
#include "kit/AquaButton.h"
#include "kit/Divider.h"
#include "kit/Spinner.h"
#include "kit/SymbolLabel.h"
#include "kit/Symbols.h"
#include "kit/TextLabel.h"
#include "kit/TolvaneTheme.h"

#include <QComboBox>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

namespace {

using TolvaneTheme::TextStyle;

const QString xaiKeysPage = QStringLiteral("https://console.x.ai/team/default/api-keys");
const QString openAiKeysPage = QStringLiteral("https://platform.openai.com/api-keys");
const QString geminiKeysPage = QStringLiteral("https://aistudio.google.com/api-keys");

// A keyring that answers within this time never shows the waiting state.
constexpr int readingGraceMs = 300;

AquaButton* link(const QString& title, const QString& address)
{
    auto* button = new AquaButton(title);
    button->setSymbol(QStringLiteral("arrow.up.right"));
    button->setAutoDefault(false);
    QObject::connect(button, &QAbstractButton::clicked, button,
                     [address] { QDesktopServices::openUrl(QUrl(address)); });
    return button;
}

QLabel* unwrapped(QLabel* label)
{
    label->setWordWrap(false);
    return label;
}

// Labels written with "&" must show it rather than take it as a mnemonic.
QString literal(QString title)
{
    return title.replace(u'&', QStringLiteral("&&"));
}

} // namespace

APIKeysView::APIKeysView(QWidget* parent)
    : QWidget(parent), m_connection(new APIKeyConnection(this))
{
    setFixedSize(600, 650);
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, TolvaneTheme::background());
    setPalette(palette);

    auto* content = new QWidget;
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(28, 28, 28, 28);
    layout->setSpacing(22);
    layout->addWidget(makeHeader());
    m_provider = new QComboBox;
    m_provider->setAccessibleName(tr("AI provider"));
    m_provider->addItem(QStringLiteral("xAI · Grok"), QStringLiteral("xai"));
    m_provider->addItem(QStringLiteral("OpenAI · Coming soon"), QStringLiteral("openai"));
    m_provider->addItem(QStringLiteral("Google Gemini · Coming soon"), QStringLiteral("google"));
    auto* pickerRow = new QHBoxLayout;
    pickerRow->addWidget(new QLabel(tr("AI provider")));
    pickerRow->addWidget(m_provider, 1);
    layout->addLayout(pickerRow);
    m_keyBlock = makeKeyBlock();
    layout->addWidget(m_keyBlock);
    m_comingSoon = makeComingSoonCard();
    layout->addWidget(m_comingSoon);
    layout->addStretch(1);

    auto* scroll = new QScrollArea;
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidget(content);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(scroll);

    connect(m_provider, &QComboBox::currentIndexChanged, this, &APIKeysView::showProvider);
    connect(m_key, &QLineEdit::textChanged, this, &APIKeysView::refresh);
    connect(m_connection, &APIKeyConnection::savedChanged, this, &APIKeysView::refresh);
    connect(m_connection, &APIKeyConnection::busyChanged, this, &APIKeysView::refresh);
    connect(m_connection, &APIKeyConnection::messageChanged, this, &APIKeysView::refresh);
    connect(m_connection, &APIKeyConnection::succeededChanged, this, &APIKeysView::refresh);
    connect(m_connection, &APIKeyConnection::readingChanged, this, &APIKeysView::refresh);
    connect(m_connection, &APIKeyConnection::unreadChanged, this, &APIKeysView::refresh);
    m_readingGrace = new QTimer(this);
    m_readingGrace->setSingleShot(true);
    connect(m_readingGrace, &QTimer::timeout, this, &APIKeysView::refresh);
    m_readingGrace->start(readingGraceMs);
    showProvider();
    refresh();
}

QWidget* APIKeysView::makeHeader()
{
    auto* header = new QWidget;
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(14);
    auto* symbol = new QLabel;
    symbol->setPixmap(Symbols::pixmap(QStringLiteral("key.fill"), TolvaneTheme::accent(), 28));
    row->addWidget(symbol, 0, Qt::AlignVCenter);
    auto* titles = new QVBoxLayout;
    titles->setSpacing(5);
    QLabel* title = unwrapped(TextLabel::make(QStringLiteral("Your AI. Your keys."),
                                              TextStyle::title2, TolvaneTheme::ink()));
    QFont titleFont = title->font();
    titleFont.setWeight(QFont::DemiBold);
    title->setFont(titleFont);
    titles->addWidget(title);
    titles->addWidget(unwrapped(TextLabel::make(QStringLiteral("Connect a provider."),
                                                TextStyle::callout, TolvaneTheme::muted())));
    row->addLayout(titles, 1);
    return header;
}

QWidget* APIKeysView::step(const QString& number, const QString& title, const QString& detail,
                           QLabel** titleLabel)
{
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(12);
    QLabel* badge = unwrapped(TextLabel::make(number, TextStyle::callout, TolvaneTheme::accent()));
    QFont badgeFont = badge->font();
    badgeFont.setBold(true);
    badge->setFont(badgeFont);
    badge->setFixedSize(32, 32);
    badge->setAlignment(Qt::AlignCenter);
    QColor circle = TolvaneTheme::accent();
    circle.setAlphaF(0.12f);
    badge->setStyleSheet(
        QStringLiteral("border-radius: 16px; background: %1;").arg(circle.name(QColor::HexArgb)));
    layout->addWidget(badge, 0, Qt::AlignTop);
    auto* column = new QVBoxLayout;
    column->setSpacing(6);
    QLabel* heading = TextLabel::make(title, TextStyle::headline, TolvaneTheme::ink());
    column->addWidget(heading);
    column->addWidget(TextLabel::make(detail, TextStyle::callout, TolvaneTheme::muted()));
    layout->addLayout(column, 1);
    if (titleLabel)
        *titleLabel = heading;
    return row;
}

QWidget* APIKeysView::makeKeyBlock()
{
    auto* block = new QWidget;
    auto* layout = new QVBoxLayout(block);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(22);

    auto* statusRow = new QHBoxLayout;
    m_connectionRow = new SymbolLabel(QStringLiteral("key"), {}, TolvaneTheme::muted());
    m_connectionRow->setFont(TolvaneTheme::font(TextStyle::callout));
    statusRow->addWidget(m_connectionRow);
    statusRow->addStretch(1);
    QLabel* model = unwrapped(TextLabel::make(QStringLiteral("Grok Imagine 2.0"),
                                              TextStyle::callout, TolvaneTheme::ink()));
    QFont modelFont = model->font();
    modelFont.setWeight(QFont::DemiBold);
    model->setFont(modelFont);
    statusRow->addWidget(model);
    layout->addLayout(statusRow);
    layout->addWidget(new Divider);

    layout->addWidget(step(QStringLiteral("01"), QStringLiteral("Get your API key"),
                           QStringLiteral("Open the xAI console, choose your team and create an "
                                          "API key. Copy it when it appears; it is shown only "
                                          "once.")));
    layout->addWidget(link(tr("Get an xAI API key"), xaiKeysPage), 0, Qt::AlignLeft);
    layout->addWidget(step(QStringLiteral("02"),
                           QStringLiteral("Enable API billing & image access"),
                           QStringLiteral("Add API credits in the xAI console and allow Grok "
                                          "Imagine 2.0 on the key. A Grok chat subscription "
                                          "does not include API usage.")));
    layout->addWidget(step(QStringLiteral("03"), QStringLiteral("Connect securely"),
                           QStringLiteral("Your key starts with xai-. Paste the full key below. "
                                          "We verify it directly with xAI, then save it in this "
                                          "computer’s keyring."),
                           &m_stepThree));

    m_key = new QLineEdit;
    m_key->setEchoMode(QLineEdit::Password);
    m_key->setPlaceholderText(QStringLiteral("xai-…"));
    m_key->setAccessibleName(tr("xAI API key starting with xai-"));
    layout->addWidget(m_key);

    auto* actions = new QHBoxLayout;
    m_verify = new AquaButton({}, true);
    m_verify->setSymbol(QStringLiteral("lock.shield"));
    m_verify->setAutoDefault(false);
    connect(m_verify, &QAbstractButton::clicked, this, &APIKeysView::verify);
    actions->addWidget(m_verify);
    m_spinner = new Spinner;
    actions->addWidget(m_spinner);
    actions->addStretch(1);
    m_remove = new QPushButton(tr("Remove Key"));
    m_remove->setAutoDefault(false);
    connect(m_remove, &QAbstractButton::clicked, this, &APIKeysView::askToRemove);
    actions->addWidget(m_remove);
    layout->addLayout(actions);

    m_status = new SymbolLabel(QStringLiteral("info.circle"), {}, TolvaneTheme::ink());
    m_status->setFont(TolvaneTheme::font(TextStyle::callout));
    m_status->setWordWrap(true);
    layout->addWidget(m_status);
    layout->addWidget(new Divider);

    auto* note = new SymbolLabel(
        QStringLiteral("checkmark.shield"),
        QStringLiteral("Verification lists available models; it doesn’t generate an image."),
        TolvaneTheme::muted());
    note->setFont(TolvaneTheme::font(TextStyle::caption));
    layout->addWidget(note);
    layout->addWidget(
        TextLabel::make(QStringLiteral("Next: open AI Studio → My xAI key, then choose a Grok "
                                       "image model and quality. Requests go directly to "
                                       "xAI, which bills your provider account."),
                        TextStyle::callout, TolvaneTheme::muted()));
    return block;
}

QWidget* APIKeysView::makeComingSoonCard()
{
    auto* card = new QWidget;
    auto* layout = new QVBoxLayout(card);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(22);
    auto* title =
        new SymbolLabel(QStringLiteral("clock"), QStringLiteral("This connection is coming soon"),
                        TolvaneTheme::ink());
    title->setFont(TolvaneTheme::font(TextStyle::headline));
    layout->addWidget(title);
    layout->addWidget(
        TextLabel::make(QStringLiteral("Tolvane currently supports personal xAI keys. OpenAI "
                                       "and Gemini image tools will arrive in a future "
                                       "update. You don’t need to paste or save a key for "
                                       "these providers yet."),
                        TextStyle::callout, TolvaneTheme::muted()));
    m_comingHint = TextLabel::make({}, TextStyle::callout, TolvaneTheme::ink());
    layout->addWidget(m_comingHint);
    m_comingLink = new AquaButton;
    m_comingLink->setSymbol(QStringLiteral("arrow.up.right"));
    m_comingLink->setAutoDefault(false);
    connect(m_comingLink, &QAbstractButton::clicked, this,
            [this] { QDesktopServices::openUrl(QUrl(m_comingPage)); });
    layout->addWidget(m_comingLink, 0, Qt::AlignLeft);
    return card;
}

// Hidden, a block takes no room; the key field keeps its text across switches.
void APIKeysView::showPage(bool keyBlock)
{
    m_keyBlock->setVisible(keyBlock);
    m_comingSoon->setVisible(!keyBlock);
}

void APIKeysView::showProvider()
{
    const QString provider = m_provider->currentData().toString();
    if (provider == u"xai") {
        showPage(true);
        return;
    }
    const bool openAi = provider == u"openai";
    m_comingHint->setText(
        openAi ? QStringLiteral("OpenAI API keys commonly start with sk-. Keep the complete key "
                                "private.")
               : QStringLiteral("Create Gemini API keys in Google AI Studio. Keep the complete "
                                "key private."));
    m_comingLink->setText(openAi ? tr("Open OpenAI API keys") : tr("Open Google AI Studio"));
    m_comingPage = openAi ? openAiKeysPage : geminiKeysPage;
    showPage(false);
}

void APIKeysView::refresh()
{
    const APIKeyConnection& connection = *m_connection;
    const bool saved = connection.saved();
    const bool busy = connection.busy();
    m_connectionRow->setSymbol(saved ? QStringLiteral("checkmark.shield.fill")
                                     : QStringLiteral("key"));
    if (connection.reading())
        m_connectionRow->setText(m_readingGrace->isActive() ? QString()
                                                            : tr("Checking the keyring…"));
    else if (connection.unread())
        m_connectionRow->setText(tr("Couldn’t read the keyring")); // the status line says why
    else
        m_connectionRow->setText(saved ? QStringLiteral("Key saved in keyring")
                                       : QStringLiteral("Not connected yet"));
    m_connectionRow->setColour(saved ? TolvaneTheme::accent() : TolvaneTheme::muted());
    m_stepThree->setText(saved ? QStringLiteral("Replace your key, if needed")
                               : QStringLiteral("Connect securely"));
    m_key->setEnabled(!busy);
    m_verify->setText(
        literal(busy ? QStringLiteral("Verifying…") : QStringLiteral("Verify & Save Key")));
    m_verify->setEnabled(!m_key->text().isEmpty() && !busy);
    m_spinner->setVisible(busy);
    m_remove->setVisible(saved);
    m_remove->setEnabled(!busy);
    const QString message = connection.message();
    m_status->setVisible(!message.isNull());
    const bool succeeded = connection.succeeded();
    m_status->setSymbol(succeeded ? QStringLiteral("checkmark.circle")
                                  : QStringLiteral("info.circle"));
    m_status->setColour(succeeded ? TolvaneTheme::accent() : TolvaneTheme::ink());
    m_status->setText(message);
    m_status->setAccessibleName(message);
}

// The check goes on if the view closes; the field is cleared only if it is still there.
void APIKeysView::verify()
{
    QPointer<QLineEdit> field = m_key;
    m_connection->connect(m_key->text(), [field](bool stored) {
        if (stored && field)
            field->clear();
    });
}

void APIKeysView::askToRemove()
{
    auto* box = new QMessageBox(
        QMessageBox::NoIcon, QStringLiteral("Remove your xAI key from this computer?"),
        QStringLiteral("Remove your xAI key from this computer?"), QMessageBox::Cancel, this);
    box->setInformativeText(QStringLiteral(
        "Cloud tools using this personal key will pause until you reconnect. Your xAI account "
        "and provider key remain active."));
    QPushButton* confirm = box->addButton(tr("Remove Key"), QMessageBox::DestructiveRole);
    box->setDefaultButton(QMessageBox::Cancel);
    box->setAttribute(Qt::WA_DeleteOnClose);
    connect(box, &QMessageBox::finished, this, [this, box, confirm] {
        if (box->clickedButton() != confirm)
            return;
        m_key->clear();
        m_connection->remove();
    });
    box->open();
}
