#pragma once

#include <QWidget>

class APIKeyConnection;
class AquaButton;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;
class Spinner;
class SymbolLabel;

// Connects an image provider with the user's own API key: three steps to get an xAI key, a
// masked field, verification against xAI before the key is stored in the keyring, and removal
// after a question. Other providers show a coming-soon card. Each instance owns its connection.
class APIKeysView : public QWidget {
    Q_OBJECT
public:
    explicit APIKeysView(QWidget* parent = nullptr);

    APIKeyConnection& connection() const { return *m_connection; }
    QComboBox* providerPicker() const { return m_provider; }
    QLineEdit* keyField() const { return m_key; }
    AquaButton* verifyButton() const { return m_verify; }
    QPushButton* removeButton() const { return m_remove; }
    Spinner* spinner() const { return m_spinner; }
    SymbolLabel* connectionRow() const { return m_connectionRow; }
    SymbolLabel* statusLine() const { return m_status; }
    QLabel* stepThreeTitle() const { return m_stepThree; }
    // The card for providers that are not connectable yet; hidden for xAI.
    QWidget* comingSoonCard() const { return m_comingSoon; }

private:
    QWidget* makeHeader();
    QWidget* makeKeyBlock();
    QWidget* makeComingSoonCard();
    QWidget* step(const QString& number, const QString& title, const QString& detail,
                  QLabel** titleLabel = nullptr);
    void verify();
    void askToRemove();
    void showProvider();
    void showPage(bool keyBlock);
    void refresh();

    APIKeyConnection* m_connection;
    QComboBox* m_provider = nullptr;
    QWidget* m_keyBlock = nullptr;
    QWidget* m_comingSoon = nullptr;
    SymbolLabel* m_connectionRow = nullptr;
    QLabel* m_stepThree = nullptr;
    QLineEdit* m_key = nullptr;
    AquaButton* m_verify = nullptr;
    Spinner* m_spinner = nullptr;
    QPushButton* m_remove = nullptr;
    SymbolLabel* m_status = nullptr;
    QLabel* m_comingHint = nullptr;
    AquaButton* m_comingLink = nullptr;
    QString m_comingPage;
    // Until it runs out, a keyring still being asked shows nothing rather than a passing state.
    QTimer* m_readingGrace = nullptr;
};
