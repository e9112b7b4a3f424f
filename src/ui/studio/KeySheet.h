#pragma once

#include <QDialog>

class APIKeysView;

// "Bring your own key": the provider-key view under a title row, over the studio sheet, never
// taller than its screen.
class KeySheet : public QDialog {
    Q_OBJECT
public:
    explicit KeySheet(QWidget* parent = nullptr);

    APIKeysView* keysView() const { return m_keys; }

protected:
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    // On a short screen the key view gives up height (it scrolls) so the sheet fits.
    void fitToScreen();

    APIKeysView* m_keys;
    int m_fullHeight = 0;
};
