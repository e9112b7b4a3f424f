#pragma once

#include <QSize>
#include <QString>
#include <QWidget>
#include <functional>
#include <vector>

// Named view states for the look screenshots. Each area registers its own in its own file:
//
//     static const Look::Registration states{{
//         {"area-state", [] { return new SomeView(...); }},
//     }};
//
// `make` returns a top-level widget that owns everything it needs (store included). The runner
// shows it offscreen at `size` (else the size it gave itself, else its size hint), lets events
// settle, calls `settle` when given, and saves grab() as build/look/<name>.png: the grab of what
// `target` returns when given (a popup menu, say), else of the widget itself.
namespace Look {

struct State {
    QString name;
    std::function<QWidget*()> make;
    QSize size = {};
    std::function<void(QWidget*)> settle = {};
    std::function<QWidget*(QWidget*)> target = {};
};

const std::vector<State>& states();

struct Registration {
    Registration(std::vector<State> states);
};

// A dark backdrop holding `content` with room around it, so shadows show whole.
QWidget* onBackdrop(QWidget* content, int margin = 24);

} // namespace Look
