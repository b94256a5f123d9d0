#pragma once

#include "platform/BrowserSignIn.h"
#include "settings/SignIn.h"

#include <QDialog>
#include <QList>
#include <QString>

class QComboBox;
class QFormLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class TokenSource;

// Chooses how the account signs in: with the password, with an online account, or with a provider
// in the browser, signing in there at once. It changes nothing outside itself: the caller takes
// result().
class SignInDialog : public QDialog
{
    Q_OBJECT
public:
    // current: the window's sign-in as it stands; the list of online accounts is asked of tokens once, here.
    SignInDialog(TokenSource& tokens, const SignIn& current, QWidget* parent = nullptr);

    // The sign-in chosen (valid after exec() returned Accepted), its refresh token included.
    SignIn result() const;
    // The e-mail address of the chosen account where one is known (an online account's address, or
    // the one the provider named at sign-in), for filling an empty user ID box; else empty.
    QString address() const;
    // The POP3 server of the chosen account's provider where one is known, for filling an empty
    // server box; else empty.
    QString server() const;

    // Cancels a sign-in under way, then closes as QDialog does.
    void done(int r) override;

private:
    // One entry of the account list.
    struct Choice
    {
        SignIn draft;    // as chosen and typed, without a refresh token
        SignIn signedIn; // the last sign-in for it, refresh token included; none while that is empty
        QString address; // the online account's, or the one the provider named at that sign-in
        QString server;  // the online account's POP3 server, where known

        // The draft, with the sign-in's refresh token while the draft is still what it signed in with.
        SignIn result() const;
    };
    // A text box of the browser sign-in: the value it edits, and the providers it shows for.
    struct Field
    {
        QLineEdit* box;
        QString SignIn::*value;
        QList<SignIn::Provider> providers;
    };

    void buildLayout(const QStringList& captions);
    const Choice* chosen() const;
    void showChoice();
    // The user changed the choice or a typed value.
    void changed();
    void signInNow();
    void signInFinished(const BrowserSignIn::Result& result);
    void say(const QString& text, Qt::TextFormat format = Qt::PlainText);
    void saySignedIn();
    void updateControls();

    SignIn m_current;
    QList<Choice> m_choices; // in the order of cboAccount's entries
    BrowserSignIn* m_signIn;

    QComboBox* cboAccount = nullptr;
    QLineEdit* txtClientId = nullptr;
    QPushButton* cmdSignInNow = nullptr;
    QLabel* lblStatus = nullptr;
    QPushButton* cmdOK = nullptr;
    QFormLayout* m_form = nullptr;
    QList<Field> m_fields;
};
