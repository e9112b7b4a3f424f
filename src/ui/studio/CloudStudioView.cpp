#include "CloudStudioView.h"

#include "KeySheet.h"
#include "StatusText.h"
#include "StudioRules.h"
#include "kit/AquaButton.h"
#include "kit/Divider.h"
#include "kit/FittingScrollArea.h"
#include "kit/SegmentedControl.h"
#include "kit/Spinner.h"
#include "kit/SymbolLabel.h"
#include "kit/TextLabel.h"
#include "kit/TolvaneTheme.h"
#include "kit/Workspace.h"
#include "store/AppState.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QSignalBlocker>
#include <QTimer>
#include <QVBoxLayout>

namespace {

using TolvaneTheme::TextStyle;

// A keyring that answers within this time never shows the sheet's waiting state.
constexpr int keyringGraceMs = 300;
constexpr int sheetWidth = 600;
constexpr int padding = 28;
constexpr int rowSpacing = 20;

AquaButton* button(const QString& title, bool prominent = false)
{
    auto* result = new AquaButton(title, prominent);
    result->setAutoDefault(false); // Return in the prompt presses nothing
    return result;
}

// A row with a title beside its control, as a titled picker shows.
QWidget* titled(const QString& title, QWidget* control)
{
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new QLabel(title));
    layout->addWidget(control, 1);
    return row;
}

// A save dialog that only makes new PNG files.
std::optional<QString> chooseNewPngFile(QWidget* parent, const QString& suggestedName,
                                        const QString& message)
{
    QFileDialog dialog(parent, message);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilter(QObject::tr("PNG image (*.png)"));
    dialog.setDefaultSuffix(QStringLiteral("png"));
    dialog.selectFile(suggestedName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    QString path = dialog.selectedFiles().constFirst();
    if (!path.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive))
        path += QStringLiteral(".png");
    return path;
}

} // namespace

CloudStudioView* CloudStudioView::create(AppState& state, QWidget* parent)
{
    CloudStudio::Environment environment = CloudStudio::Environment::production();
    // The save dialog belongs to the sheet, which exists only once the controller does.
    auto sheet = std::make_shared<QPointer<QWidget>>();
    environment.chooseNewPngFile = [sheet](const QString& name, const QString& message) {
        return chooseNewPngFile(*sheet, name, message);
    };
    auto* view = new CloudStudioView(state, std::move(environment), parent);
    *sheet = view;
    return view;
}

CloudStudioView::CloudStudioView(AppState& state, CloudStudio::Environment environment,
                                 QWidget* parent)
    : QDialog(parent), m_state(state), m_studio(new CloudStudio(std::move(environment), this)),
      m_modelID(StudioRules::defaultModel)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowModality(Qt::WindowModal);
    setWindowTitle(tr("Tolvane Studio"));
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, TolvaneTheme::background());
    setPalette(palette);

    makeLayout();

    m_keyringGrace = new QTimer(this);
    m_keyringGrace->setSingleShot(true);
    m_keyringGrace->setInterval(keyringGraceMs);
    connect(m_keyringGrace, &QTimer::timeout, this, &CloudStudioView::render);
    if (m_studio->isReadingKey())
        m_keyringGrace->start();
    connectSignals();
    connect(&state, &AppState::selectionChanged, this, &CloudStudioView::render);
    connect(&state, &AppState::itemsChanged, this, &CloudStudioView::render);
    render();
}

// Header and action row stay; the rows between them scroll once the sheet would outgrow its
// screen. The status has room for its three lines, so nothing moves as sentences come and go.
void CloudStudioView::makeLayout()
{
    const auto column = [](QWidget* owner, const QMargins& margins) {
        auto* layout = new QVBoxLayout(owner);
        layout->setContentsMargins(margins);
        layout->setSpacing(rowSpacing);
        return layout;
    };
    m_top = new QWidget;
    QVBoxLayout* top = column(m_top, {padding, padding, padding, 0});
    top->addWidget(makeHeader());
    top->addWidget(new Divider);

    auto* rows = new QWidget;
    QVBoxLayout* middle = column(rows, {padding, rowSpacing, padding, rowSpacing});
    middle->addWidget(makeRoute());
    middle->addWidget(makeModelPicker());
    m_emptyNote = note(tr("Included cloud models are not available yet. Your local enhancement "
                          "tools are separate from the cloud service."));
    middle->addWidget(m_emptyNote);
    middle->addWidget(makeOwnKeyBlock());
    middle->addWidget(makePromptBlock());
    m_uploadNote = note({});
    middle->addWidget(m_uploadNote);
    m_comingSoon = note(tr("OpenAI GPT Image 2.5 and Gemini Nano Banana 2.1: coming soon."));
    middle->addWidget(m_comingSoon);
    m_middle = new FittingScrollArea(rows);

    m_bottom = new QWidget;
    QVBoxLayout* bottom = column(m_bottom, {padding, 0, padding, padding});
    bottom->addWidget(makeStatusRow());
    bottom->addWidget(makeActionRow());

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    for (QWidget* part : {m_top, static_cast<QWidget*>(m_middle), m_bottom}) {
        part->setFixedWidth(sheetWidth);
        layout->addWidget(part);
    }
}

void CloudStudioView::connectSignals()
{
    connect(m_studio, &CloudStudio::modelsChanged, this, &CloudStudioView::render);
    connect(m_studio, &CloudStudio::messageChanged, this, &CloudStudioView::render);
    connect(m_studio, &CloudStudio::outputURLChanged, this, &CloudStudioView::render);
    connect(m_studio, &CloudStudio::hasOwnKeyChanged, this, &CloudStudioView::render);
    connect(m_studio, &CloudStudio::isKeyUnreadChanged, this, &CloudStudioView::render);
    connect(m_studio, &CloudStudio::resumeJobChanged, this, &CloudStudioView::render);
    connect(m_studio, &CloudStudio::isReadingKeyChanged, this, [this](bool reading) {
        if (reading)
            m_keyringGrace->start();
        render();
    });
    // Only changes reach the store, so opening the sheet never writes it.
    connect(m_studio, &CloudStudio::isBusyChanged, this, [this](bool busy) {
        m_state.setCloudRunning(busy);
        render();
    });
}

QLabel* CloudStudioView::note(const QString& text)
{
    return TextLabel::make(text, TextStyle::caption, TolvaneTheme::muted());
}

QWidget* CloudStudioView::makeHeader()
{
    auto* header = new QWidget;
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(0, 0, 0, 0);
    auto* titles = new QVBoxLayout;
    titles->setSpacing(4);
    QLabel* title = TextLabel::make(tr("Tolvane Studio"), TextStyle::title2, TolvaneTheme::ink());
    QFont titleFont = title->font();
    titleFont.setWeight(QFont::DemiBold);
    title->setFont(titleFont);
    titles->addWidget(title);
    titles->addWidget(note(tr("Create something new. Or give an image a fresh direction.")));
    row->addLayout(titles, 1);
    m_done = button(tr("Done"));
    connect(m_done, &QAbstractButton::clicked, this, &QDialog::accept);
    row->addWidget(m_done);
    return header;
}

QWidget* CloudStudioView::makeRoute()
{
    m_route = new SegmentedControl({tr("Tolvane Cloud"), tr("My xAI key")});
    m_route->setAccessibleName(tr("Use"));
    connect(m_route, &SegmentedControl::activated, this, [this](int index) {
        m_ownKey = index == 1;
        render();
    });
    return titled(tr("Use"), m_route);
}

QWidget* CloudStudioView::makeModelPicker()
{
    m_model = new QComboBox;
    m_model->setAccessibleName(tr("Image model"));
    connect(m_model, &QComboBox::activated, this, [this](int index) {
        m_modelID = m_model->itemData(index).toString();
        render();
    });
    return titled(tr("Image model"), m_model);
}

QWidget* CloudStudioView::makeOwnKeyBlock()
{
    m_ownKeyBlock = new QWidget;
    auto* block = new QVBoxLayout(m_ownKeyBlock);
    block->setContentsMargins(0, 0, 0, 0);
    block->setSpacing(20);
    auto* keyRow = new QHBoxLayout;
    m_keyLabel = new SymbolLabel(QStringLiteral("key"), {}, TolvaneTheme::ink());
    m_keyLabel->setFont(TolvaneTheme::font(TextStyle::callout));
    keyRow->addWidget(m_keyLabel);
    keyRow->addStretch(1);
    m_keyButton = button({});
    connect(m_keyButton, &QAbstractButton::clicked, this, &CloudStudioView::openKeySheet);
    keyRow->addWidget(m_keyButton);
    block->addLayout(keyRow);
    block->addWidget(note(tr("Requests go directly to xAI. xAI bills your account.")));
    return m_ownKeyBlock;
}

QWidget* CloudStudioView::makePromptBlock()
{
    auto* block = new QWidget;
    auto* layout = new QVBoxLayout(block);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    layout->addWidget(TextLabel::make(tr("What would you like to create?"), TextStyle::headline,
                                      TolvaneTheme::ink()));

    auto* frame = new QFrame;
    frame->setObjectName(QStringLiteral("promptFrame"));
    frame->setStyleSheet(QStringLiteral("#promptFrame { background: %1; border-radius: 8px; "
                                        "border: 1px solid rgba(255, 255, 255, 35); }")
                             .arg(palette().color(QPalette::Base).name()));
    auto* frameLayout = new QVBoxLayout(frame);
    frameLayout->setContentsMargins(8, 8, 8, 8);
    m_prompt = new QPlainTextEdit;
    m_prompt->setFrameShape(QFrame::NoFrame);
    m_prompt->setFixedHeight(100);
    m_prompt->setFont(TolvaneTheme::font(TextStyle::body));
    m_prompt->setAccessibleName(tr("Image prompt"));
    m_prompt->setTabChangesFocus(true);
    connect(m_prompt, &QPlainTextEdit::textChanged, this, &CloudStudioView::render);
    frameLayout->addWidget(m_prompt);
    layout->addWidget(frame);

    m_useReference = new QCheckBox(tr("Use selected image as a reference"));
    connect(m_useReference, &QCheckBox::toggled, this, &CloudStudioView::render);
    layout->addWidget(m_useReference);

    m_referenceRow = new QWidget;
    auto* reference = new QVBoxLayout(m_referenceRow);
    reference->setContentsMargins(0, 0, 0, 0);
    m_referenceName = note({});
    m_referenceName->setWordWrap(false);
    reference->addWidget(m_referenceName);
    m_enhance = button(tr("Enhance clarity and detail"));
    m_enhance->setControlSize(AquaButton::ControlSize::small);
    connect(m_enhance, &QAbstractButton::clicked, this,
            [this] { m_prompt->setPlainText(StudioRules::enhancementPrompt); });
    reference->addWidget(m_enhance, 0, Qt::AlignLeft);
    layout->addWidget(m_referenceRow);
    return block;
}

QWidget* CloudStudioView::makeStatusRow()
{
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    m_spinner = new Spinner;
    layout->addWidget(m_spinner);
    m_status = new StatusText;
    m_status->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    layout->addWidget(m_status, 1);
    layout->setAlignment(m_spinner, Qt::AlignTop);
    // Room for the longest status, so that the rows above and below never move.
    const QStringList lines(StatusText::maxLines, QStringLiteral("Ag"));
    const int tallest = m_status->fontMetrics()
                            .boundingRect(QRect(0, 0, sheetWidth, sheetWidth),
                                          Qt::AlignLeft | Qt::AlignTop, lines.join(u'\n'))
                            .height();
    row->setFixedHeight(std::max(tallest, m_spinner->sizeHint().height()));
    return row;
}

QWidget* CloudStudioView::makeActionRow()
{
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    m_checkResult = button(tr("Check Result"));
    connect(m_checkResult, &QAbstractButton::clicked, this, [this] {
        QMetaObject::invokeMethod(
            this, [this] { m_studio->resume(); }, Qt::QueuedConnection);
    });
    layout->addWidget(m_checkResult);
    m_showInFolder = button(tr("Show in Folder"));
    connect(m_showInFolder, &QAbstractButton::clicked, this,
            [this] { Workspace::reveal(m_studio->outputURL()); });
    layout->addWidget(m_showInFolder);
    layout->addStretch(1);
    m_generate = button(tr("Generate && Save…"), true);
    m_generate->setControlSize(AquaButton::ControlSize::large);
    connect(m_generate, &QAbstractButton::clicked, this, &CloudStudioView::generate);
    layout->addWidget(m_generate);
    return row;
}

bool CloudStudioView::showsKeyringWait() const
{
    return m_studio->isReadingKey() && !m_keyringGrace->isActive();
}

QWidget* CloudStudioView::row(const QString& role) const
{
    if (role == u"emptyNote")
        return m_emptyNote;
    if (role == u"ownKey")
        return m_ownKeyBlock;
    if (role == u"reference")
        return m_referenceRow;
    if (role == u"comingSoon")
        return m_comingSoon;
    return nullptr;
}
