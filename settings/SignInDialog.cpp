#include "settings/SignInDialog.h"

#include "platform/TokenSource.h"
#include "platform/Twips.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <utility>

namespace {

using Kind = SignIn::Kind;
using Provider = SignIn::Provider;

const QString kClientIdHelp = QStringLiteral("https://quillpost.example.org/#signing-in-with-the-browser");

// "a", "a and b", "a, b and c".
QString listed(QStringList items)
{
    const QString last = items.takeLast();
    return items.isEmpty() ? last : items.join(QStringLiteral(", ")) + QStringLiteral(" and ") + last;
}

} // namespace

SignIn SignInDialog::Choice::result() const
{
    SignIn withToken = draft;
    withToken.refreshToken = signedIn.refreshToken;
    return withToken == signedIn ? withToken : draft;
}

SignInDialog::SignInDialog(TokenSource& tokens, const SignIn& current, QWidget* parent)
    : QDialog(parent)
    , m_current(current)
    , m_signIn(new BrowserSignIn([&tokens](const QUrl& address) { tokens.openBrowser(address); }, this))
{
    int selected = -1;
    QStringList captions;
    const auto add = [&](const QString& caption, const Choice& choice, bool isCurrent) {
        if (isCurrent)
            selected = static_cast<int>(m_choices.size());
        m_choices.append(choice);
        captions << caption;
    };
    add(QStringLiteral("Password"), {}, current.kind == Kind::Password);
    for (const OnlineAccount& account : tokens.onlineAccounts()) {
        SignIn draft;
        draft.kind = Kind::OnlineAccount;
        draft.onlineAccount = account.id;
        add(account.address + QStringLiteral(" (GNOME Online Accounts)"),
            {draft, {}, account.address, SignIn::serverOfOnlineAccount(account.providerType)},
            current.kind == Kind::OnlineAccount && current.onlineAccount == account.id);
    }
    for (const auto& [provider, caption] :
         {std::pair{Provider::Microsoft, QStringLiteral("Microsoft account")},
          std::pair{Provider::Google, QStringLiteral("Google account")},
          std::pair{Provider::Other, QStringLiteral("Other OAuth 2 provider")}}) {
        const bool isCurrent = current.kind == Kind::Browser && current.provider == provider;
        Choice choice;
        choice.draft.kind = Kind::Browser;
        choice.draft.provider = provider;
        if (isCurrent) {
            choice.signedIn = current;
            choice.draft = current;
            choice.draft.refreshToken.clear();
        }
        add(caption, choice, isCurrent);
    }

    buildLayout(captions);
    cboAccount->setCurrentIndex(selected);
    showChoice();
    saySignedIn();
    updateControls();
    // Picking the password in its place would change the sign-in behind the user's back.
    if (selected < 0)
        say(QStringLiteral("The online account this sign-in used is not among GNOME Online Accounts now; "
                           "choose how to sign in."));

    connect(cboAccount, &QComboBox::currentIndexChanged, this, [this] {
        showChoice();
        changed();
    });
    for (const Field& field : std::as_const(m_fields))
        connect(field.box, &QLineEdit::textEdited, this, [this, value = field.value](const QString& text) {
            m_choices[cboAccount->currentIndex()].draft.*value = text;
            changed();
        });
    connect(cmdSignInNow, &QPushButton::clicked, this, &SignInDialog::signInNow);
    connect(m_signIn, &BrowserSignIn::finished, this, &SignInDialog::signInFinished);
}

void SignInDialog::buildLayout(const QStringList& captions)
{
    setObjectName(QStringLiteral("dlgSignIn"));
    setWindowTitle(QStringLiteral("Sign In"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setModal(true);

    m_form = new QFormLayout;
    cboAccount = new QComboBox(this);
    cboAccount->setObjectName(QStringLiteral("cboAccount"));
    cboAccount->addItems(captions);
    cboAccount->setMinimumWidth(Twips::toPixels(4500));
    m_form->addRow(QStringLiteral("&Account:"), cboAccount);
    const auto field = [this](const QString& name, const QString& caption, QString SignIn::*value,
                              const QList<Provider>& providers) {
        auto* box = new QLineEdit(this);
        box->setObjectName(name);
        m_form->addRow(caption, box);
        m_fields.append({box, value, providers});
        return box;
    };
    txtClientId = field(QStringLiteral("txtClientId"), QStringLiteral("Client &ID:"), &SignIn::clientId,
                        {Provider::Microsoft, Provider::Google, Provider::Other});
    field(QStringLiteral("txtClientSecret"), QStringLiteral("Client s&ecret:"), &SignIn::clientSecret,
          {Provider::Google, Provider::Other})
        ->setEchoMode(QLineEdit::Password);
    field(QStringLiteral("txtTenant"), QStringLiteral("&Tenant:"), &SignIn::tenant, {Provider::Microsoft})
        ->setPlaceholderText(SignIn::defaultTenant());
    field(QStringLiteral("txtAuthorizeUrl"), QStringLiteral("Aut&horization URL:"), &SignIn::authorizeUrl,
          {Provider::Other});
    field(QStringLiteral("txtTokenUrl"), QStringLiteral("To&ken URL:"), &SignIn::tokenUrl, {Provider::Other});
    field(QStringLiteral("txtScope"), QStringLiteral("S&cope:"), &SignIn::scope, {Provider::Other});

    cmdSignInNow = new QPushButton(QStringLiteral("&Sign In"), this);
    cmdSignInNow->setObjectName(QStringLiteral("cmdSignInNow"));
    lblStatus = new QLabel(this);
    lblStatus->setObjectName(QStringLiteral("lblStatus"));
    lblStatus->setWordWrap(true);
    lblStatus->setOpenExternalLinks(true);
    m_form->addRow(cmdSignInNow, lblStatus);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    cmdOK = buttons->button(QDialogButtonBox::Ok);
    cmdOK->setDefault(true);
    // Some platform themes give these mnemonics of their own, which could clash with the ones above.
    cmdOK->setText(QStringLiteral("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Cancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    // The dialog shrinks and grows with the rows the choice shows.
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addLayout(m_form);
    layout->addWidget(buttons);
}

SignIn SignInDialog::result() const
{
    const Choice* choice = chosen();
    return choice ? choice->result() : m_current;
}

QString SignInDialog::address() const
{
    const Choice* choice = chosen();
    if (!choice || (choice->draft.kind == Kind::Browser && choice->result().refreshToken.isEmpty()))
        return {};
    return choice->address;
}

QString SignInDialog::server() const
{
    const Choice* choice = chosen();
    if (!choice || choice->draft.kind == Kind::Password)
        return {};
    return choice->draft.kind == Kind::OnlineAccount ? choice->server : choice->draft.server();
}

void SignInDialog::done(int r)
{
    m_signIn->cancel();
    QDialog::done(r);
}

const SignInDialog::Choice* SignInDialog::chosen() const
{
    const int index = cboAccount->currentIndex();
    return index < 0 ? nullptr : &m_choices[index];
}

void SignInDialog::showChoice()
{
    const Choice* choice = chosen();
    const SignIn draft = choice ? choice->draft : SignIn();
    for (const Field& field : std::as_const(m_fields))
        field.box->setText(draft.*field.value);
    txtClientId->setPlaceholderText(
        draft.builtInClientId().isEmpty() ? QString() : QStringLiteral("Leave empty for the built-in one"));
}

void SignInDialog::changed()
{
    saySignedIn();
    // A sign-in under way is for what was chosen and typed before.
    m_signIn->cancel();
    updateControls();
}

void SignInDialog::signInNow()
{
    const OAuthEndpoints endpoints = chosen()->draft.endpoints();
    QStringList missing;
    if (endpoints.clientId.isEmpty())
        missing << QStringLiteral("a client ID (<a href=\"%1\">how to get one</a>)").arg(kClientIdHelp);
    if (endpoints.authorizeUrl.isEmpty())
        missing << QStringLiteral("the authorization URL");
    if (endpoints.tokenUrl.isEmpty())
        missing << QStringLiteral("the token URL");
    if (endpoints.scope.isEmpty())
        missing << QStringLiteral("the scope");
    if (!missing.isEmpty()) {
        say(QStringLiteral("Needed for signing in: ") + listed(missing) + '.', Qt::RichText);
        return;
    }
    cmdSignInNow->setEnabled(false);
    say(QStringLiteral("Waiting for the sign-in in your browser ..."));
    m_signIn->start(endpoints);
}

void SignInDialog::signInFinished(const BrowserSignIn::Result& result)
{
    cmdSignInNow->setEnabled(true);
    if (result.outcome == BrowserSignIn::Result::Done) {
        // A change of choice or typed values cancels the sign-in, so it is the chosen one's.
        Choice& choice = m_choices[cboAccount->currentIndex()];
        choice.signedIn = choice.draft;
        choice.signedIn.refreshToken = result.tokens.refreshToken;
        choice.address = result.address;
        saySignedIn();
    } else {
        say(result.text);
    }
    updateControls();
}

void SignInDialog::say(const QString& text, Qt::TextFormat format)
{
    // A provider's words are shown as they are, never read as markup.
    lblStatus->setTextFormat(format);
    lblStatus->setText(text);
}

void SignInDialog::saySignedIn()
{
    const Choice* choice = chosen();
    if (!choice || choice->draft.kind != Kind::Browser || choice->result().refreshToken.isEmpty())
        say({});
    else if (choice->address.isEmpty())
        say(QStringLiteral("Signed in"));
    else
        say(QStringLiteral("Signed in as ") + choice->address);
}

void SignInDialog::updateControls()
{
    const Choice* choice = chosen();
    const bool browser = choice && choice->draft.kind == Kind::Browser;
    // One resize for all the rows, rather than one for each.
    layout()->setEnabled(false);
    for (const Field& field : std::as_const(m_fields))
        m_form->setRowVisible(field.box, browser && field.providers.contains(choice->draft.provider));
    cmdSignInNow->setVisible(browser);
    layout()->setEnabled(true);
    layout()->activate();
    cmdOK->setEnabled(choice && (!browser || !choice->result().refreshToken.isEmpty()));
}
