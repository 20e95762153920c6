#include "platform/UserInteraction.h"

#include <QDebug>
#include <memory>

namespace {
class LoggingInteraction : public UserInteraction {
public:
    void warning(const QString& title, const QString& text) override
    {
        qWarning("[W][%s] %s: %s", "UserInteraction", qUtf8Printable(title), qUtf8Printable(text));
    }
};

} // namespace

UserInteraction::~UserInteraction() = default;

void UserInteraction::askAcceptOffer(const ServerContent&, const QString& fileName, std::function<void(bool)> answer)
{
    qWarning("[W][%s] Declined \"%s\": nobody to ask.", "UserInteraction", qUtf8Printable(fileName));
    answer(false);
}

void UserInteraction::askAcceptOffers(const QList<OfferedFile>& offers, std::function<void(QList<bool>)> answer)
{
    auto round = std::make_shared<OfferRound>(OfferRound{offers, {}, std::move(answer)});
    askInTurn(round);
}

void UserInteraction::askInTurn(const std::shared_ptr<OfferRound>& round)
{
    // One question after another; the answers gather until the last one came.
    if (round->answers.size() == round->offers.size()) {
        round->done(round->answers);
        return;
    }
    const OfferedFile& offer = round->offers.at(round->answers.size());
    askAcceptOffer(offer.from, offer.fileName, [this, round](bool take) {
        round->answers.append(take);
        askInTurn(round);
    });
}

UserInteraction::ExistingFile UserInteraction::askExistingFile(const QString&)
{
    return ExistingFile::KeepBoth;
}

bool UserInteraction::confirmCast(const QString&)
{
    return false;
}

QString UserInteraction::askCastPassword(const QString&, const QString&, const QString&)
{
    return QString();
}

UserInteraction& UserInteraction::fallback()
{
    static LoggingInteraction logging; // stateless
    return logging;
}
