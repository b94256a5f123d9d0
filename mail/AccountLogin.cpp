#include "mail/AccountLogin.h"

#include "platform/TokenSource.h"
#include "settings/SignIn.h"

AccountLogin::AccountLogin(TokenSource& tokens)
    : m_tokens(tokens)
{}

AccountLogin::Login AccountLogin::login(SignIn& signIn, const QString& password)
{
    switch (signIn.kind) {
    case SignIn::Kind::Password:
        return {TokenAnswer::Done, false, password};
    case SignIn::Kind::OnlineAccount: {
        const TokenAnswer answer = m_tokens.onlineAccountToken(signIn.onlineAccount);
        return {answer.outcome, true, answer.token, true, answer.text};
    }
    case SignIn::Kind::Browser:
        break;
    }
    if (signIn.refreshToken.isEmpty())
        return {TokenAnswer::Expired, true, {}, false, QStringLiteral("not signed in")};
    if (!m_token.isEmpty() && m_refreshToken == signIn.refreshToken &&
        QDateTime::currentDateTimeUtc().addSecs(kMarginSecs) < m_expires)
        return {TokenAnswer::Done, true, m_token};
    forget();
    const TokenAnswer answer = m_tokens.refresh(signIn.endpoints(), signIn.refreshToken);
    if (answer.outcome != TokenAnswer::Done)
        return {answer.outcome, true, {}, false, answer.text};
    if (!answer.refreshToken.isEmpty())
        signIn.refreshToken = answer.refreshToken;
    // A token whose end the provider did not name is not kept: it is refreshed at every check.
    if (answer.expires.isValid()) {
        m_refreshToken = signIn.refreshToken;
        m_token = answer.token;
        m_expires = answer.expires;
    }
    return {TokenAnswer::Done, true, answer.token, true};
}

void AccountLogin::forget()
{
    m_refreshToken.clear();
    m_token.clear();
    m_expires = {};
}
