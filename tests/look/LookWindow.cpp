#include "Look.h"

#include "core/EngineError.h"
#include "store/AppState.h"
#include "ui/window/ContentView.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QLabel>
#include <QMainWindow>
#include <QMimeData>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QToolBar>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The content in a main window with its toolbar, owning its store.
class Window : public QMainWindow {
public:
    Window()
        : m_state(std::make_unique<AppState>(
              std::make_unique<QSettings>(m_dir.filePath("settings.ini"), QSettings::IniFormat)))
    {
        m_content = new ContentView(*m_state);
        addToolBar(m_content->toolbar());
        setCentralWidget(m_content);
    }
    ~Window() override
    {
        releaseImport();
        m_state->stopAndWait(5000);
        delete takeCentralWidget();
    }
    // An import that stays under way: its worker waits on a named pipe until released.
    void holdImport()
    {
        m_pipe = m_dir.filePath("held.png");
        ::mkfifo(QFile::encodeName(m_pipe).constData(), 0600);
        m_state->add({m_pipe});
    }
    void releaseImport()
    {
        if (m_pipe.isEmpty())
            return;
        (void)QTest::qWaitFor(
            [this] {
                const int fd = ::open(QFile::encodeName(m_pipe).constData(), O_WRONLY | O_NONBLOCK);
                if (fd >= 0)
                    ::close(fd);
                return !m_state->isImporting();
            },
            5000);
    }
    AppState& state() { return *m_state; }
    ContentView* content() const { return m_content; }

private:
    QTemporaryDir m_dir;
    std::unique_ptr<AppState> m_state;
    ContentView* m_content;
    QString m_pipe;
};

QImage picture(QSize size, QColor from, QColor to)
{
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient gradient(0, 0, size.width(), size.height());
    gradient.setColorAt(0, from);
    gradient.setColorAt(1, to);
    painter.fillRect(image.rect(), gradient);
    painter.setPen(QPen(Qt::white, 3));
    painter.drawEllipse(QRect(QPoint(), size).adjusted(8, 8, -8, -8));
    return image;
}

Item item(const QString& name, QSize size, Item::Status status, QImage thumbnail = {})
{
    Item made;
    made.id = QUuid::createUuid();
    made.path = QStringLiteral("/home/ada/Pictures/") + name;
    made.pixelSize = size;
    made.status = std::move(status);
    made.thumbnail = std::move(thumbnail);
    return made;
}

// Five items, one in every status, thumbnails wide, tall and missing.
QList<Item> fiveItems()
{
    Item done = item("harbour-at-dusk.jpg", {1600, 900}, Item::Status::done(),
                     picture({160, 90}, QColor(30, 60, 120), QColor(240, 150, 60)));
    done.outputPath = QStringLiteral("/home/ada/Pictures/harbour-at-dusk_2x.jpg");
    done.outputPixelSize = QSize(3200, 1800);
    return {
        done,
        item("portrait-of-grandmother-scanned-from-the-old-family-album-1962.png", {900, 1600},
             Item::Status::working(0.45),
             picture({90, 160}, QColor(90, 40, 40), QColor(230, 200, 170))),
        item("logo.webp", {512, 512},
             Item::Status::failed("The image is too large to enlarge at 16×. Choose a smaller "
                                  "scale or split the image into parts first."),
             picture({160, 160}, QColor(20, 140, 120), QColor(250, 250, 250))),
        item("IMG_4021.HEIC", {4032, 3024}, Item::Status::pending(),
             picture({160, 120}, QColor(60, 90, 40), QColor(200, 220, 120))),
        item("screenshot.tiff", {1280, 800}, Item::Status::pending()),
    };
}

QWidget* emptyWindow()
{
    return new Window;
}

QWidget* queueWindow()
{
    auto* window = new Window;
    const QList<Item> items = fiveItems();
    window->state().setItems(items);
    window->state().setSelection(items[1].id);
    return window;
}

QWidget* runningWindow()
{
    auto* window = new Window;
    QList<Item> items = fiveItems();
    for (Item& each : items)
        if (!each.status.is(Item::Status::Kind::done))
            each.status = Item::Status::pending();
    window->state().setItems(items);
    window->state().setSelection(items[0].id);
    window->state().setPipelineRun([](const QString& path, const JobSettings&,
                                      const CancelToken& token,
                                      const Pipeline::Progress& progress) {
        progress(0.62);
        while (!token.isCancelled())
            QThread::msleep(5);
        throw UpscaleError::cancelled();
        return path;
    });
    window->state().start();
    return window;
}

QWidget* importingWindow()
{
    auto* window = new Window;
    QList<Item> items = fiveItems();
    items.removeAt(2);
    window->state().setItems(items);
    window->holdImport();
    return window;
}

// A drag of two files held over the window.
void dragOver(QWidget* widget)
{
    auto* content = static_cast<Window*>(widget)->content();
    auto* data = new QMimeData;
    data->setUrls({QUrl::fromLocalFile("/tmp/a.png"), QUrl::fromLocalFile("/tmp/b.jpg")});
    QDragEnterEvent enter(QPoint(500, 300), Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton,
                          {});
    QApplication::sendEvent(content, &enter);
    QTest::qWait(20);
}

// The alert is a window of its own: draw it over the window where a sheet would sit.
QWidget* alertOverWindow()
{
    Window window;
    window.resize(1180, 740);
    window.show();
    QTest::qWait(30);
    window.state().setNotice(QStringLiteral(
        "No readable images were found. Try PNG, JPEG, WebP, HEIC, TIFF, GIF, BMP, or AVIF."));
    QTest::qWait(50);
    QPixmap shot = window.grab();
    if (QMessageBox* alert = window.content()->importAlert()) {
        alert->adjustSize();
        const QPixmap box = alert->grab();
        QPainter painter(&shot);
        painter.fillRect(shot.rect(), QColor(0, 0, 0, 90));
        painter.drawPixmap((shot.width() - box.width()) / 2, 80, box);
    }
    auto* label = new QLabel;
    label->setPixmap(shot);
    return label;
}

const Look::Registration states{{
    {QStringLiteral("window-empty"), emptyWindow, {1180, 740}},
    {QStringLiteral("window-empty-minimum"), emptyWindow, {960, 620}},
    {QStringLiteral("window-queue"), queueWindow, {1180, 740}},
    {QStringLiteral("window-queue-narrow-sidebar"), queueWindow, {960, 620}},
    {QStringLiteral("window-drag"), queueWindow, {1180, 740}, dragOver},
    {QStringLiteral("window-running"),
     runningWindow,
     {1180, 740},
     [](QWidget*) { QTest::qWait(200); }},
    {QStringLiteral("window-importing"), importingWindow, {1180, 740}},
    {QStringLiteral("window-import-alert"), alertOverWindow},
}};

} // namespace
