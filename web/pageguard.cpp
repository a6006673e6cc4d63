// SPDX-License-Identifier: GPL-3.0-or-later
#include "pageguard.h"

#include "platform/constants.h"

#include <QCryptographicHash>
#include <QRandomGenerator>

#include <algorithm>

namespace kestavo::web
{

bool sameSecret(QByteArrayView a, QByteArrayView b)
{
    // Digests first, so that the length is no clue either.
    const QByteArray da = QCryptographicHash::hash(a, QCryptographicHash::Sha256);
    const QByteArray db = QCryptographicHash::hash(b, QCryptographicHash::Sha256);
    unsigned char difference = 0;
    for (qsizetype i = 0; i < da.size(); ++i)
        difference |= static_cast<unsigned char>(da[i] ^ db[i]);
    return difference == 0;
}

PageGuard::PageGuard(QByteArray password, Clock clock)
    : m_password(std::move(password)), m_clock(std::move(clock))
{
}

PageGuard::Login PageGuard::login(const QHostAddress& from, QByteArrayView password)
{
    using namespace std::chrono;
    const QString address = from.toString();
    const auto now = m_clock();
    auto found = m_tries.find(address);
    if (found != m_tries.end() && now < found->second.next)
        return {Login::Outcome::Wait,
                {},
                duration_cast<seconds>(found->second.next - now) + seconds(1)};

    if (sameSecret(password, m_password)) {
        if (found != m_tries.end()) {
            m_tries.erase(found);
            m_triesOrder.erase(std::find(m_triesOrder.begin(), m_triesOrder.end(), address));
        }
        QByteArray token(constants::kWebTokenBytes, Qt::Uninitialized);
        QRandomGenerator::system()->generate(token.begin(), token.end());
        token = token.toHex();
        m_tokens.push_back(token);
        if (m_tokens.size() > constants::kMaxWebTokens)
            m_tokens.pop_front();
        return {Login::Outcome::Token, token, {}};
    }

    if (found == m_tries.end()) {
        if (m_tries.size() >= constants::kMaxWebTriesKept) {
            m_tries.erase(m_triesOrder.front());
            m_triesOrder.pop_front();
        }
        found = m_tries.emplace(address, Tries{}).first;
        m_triesOrder.push_back(address);
    }
    Tries& tries = found->second;
    ++tries.wrong;
    const int beyond = tries.wrong - constants::kFreeWebTries;
    if (beyond > 0)
        tries.next = now + std::min(constants::kLongestWebTryWait,
                                    seconds(1) * (1 << std::min(beyond - 1, 16)));
    return {Login::Outcome::Wrong, {}, {}};
}

bool PageGuard::allows(QByteArrayView authorization) const
{
    if (!locked())
        return true;
    constexpr QByteArrayView kBearer("Bearer ");
    if (!authorization.startsWith(kBearer))
        return false;
    const QByteArrayView token = authorization.sliced(kBearer.size());
    // Every token is compared, so that the time taken tells nothing.
    bool known = false;
    for (const QByteArray& kept : m_tokens)
        known = sameSecret(token, kept) || known;
    return known;
}

} // namespace kestavo::web
