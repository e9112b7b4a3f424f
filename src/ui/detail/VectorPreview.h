#pragma once

#include <QByteArray>
#include <QWidget>
#include <optional>

class VectorCanvas;

// A traced SVG result over a light checkerboard, with a caption row that reveals the file. The
// file is untrusted text: bounded in size, strict UTF-8, and drawn without loading anything
// from outside it.
class VectorPreview : public QWidget {
    Q_OBJECT
public:
    static constexpr qint64 maxBytes = 12'000'000;

    explicit VectorPreview(const QString& path, QWidget* parent = nullptr);

    // The text to draw: nothing when the file is missing, larger than maxBytes (checked before
    // and while reading) or not valid UTF-8; otherwise its text without any exact
    // `<?xml version="1.0" encoding="UTF-8"?>` and without image elements that refer to
    // anything but data: URLs.
    static std::optional<QByteArray> prepare(const QString& path);
    // Files read by prepare() so far; tests use it to see rereads.
    static int readCount();

    VectorCanvas* canvas() const { return m_canvas; }

private:
    QWidget* makeCaptionRow();

    QString m_path;
    VectorCanvas* m_canvas;
};
