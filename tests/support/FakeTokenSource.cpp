#include "FakeTokenSource.h"

namespace {

TokenAnswer next(QList<TokenAnswer>& answers)
{
    if (answers.isEmpty())
        return {TokenAnswer::Unreachable, {}, {}, {}, QStringLiteral("no answer scripted")};
    return answers.takeFirst();
}

} // namespace

TokenAnswer FakeTokenSource::onlineAccountToken(const QString& id)
{
    calls << "token " + id;
    return next(onlineAnswers);
}

TokenAnswer FakeTokenSource::refresh(const OAuthEndpoints&, const QString& refreshToken)
{
    calls << "refresh " + refreshToken;
    return next(refreshAnswers);
}

void FakeTokenSource::openBrowser(const QUrl& address)
{
    calls << "browser " + address.toString();
    if (browser)
        browser(address);
}
