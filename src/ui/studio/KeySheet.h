#pragma once

#include <QDialog>

class APIKeysView;

// "Bring your own key": the provider-key view under a title row, over the studio sheet.
class KeySheet : public QDialog {
    Q_OBJECT
public:
    explicit KeySheet(QWidget* parent = nullptr);

    APIKeysView* keysView() const { return m_keys; }

private:
    APIKeysView* m_keys;
};
