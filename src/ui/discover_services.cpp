#include "ui/discover_services.h"

#include <QLocale>
#include <QRandomGenerator>
#include <algorithm>
#include <cstdlib>

#include "app/main_form.h"
#include "discover/countries.h"
#include "platform/qt_strings.h"
#include "ui/background_work.h"
#include "web/page_loading.h"

namespace qova::ui {
namespace {

// A server of the database that sends nothing for this long is passed over for the next: a
// person waits in the window meanwhile.
constexpr int kDatabaseNoAnswerMs = 10000;
// A name that the DNS has not resolved by then is taken for one that cannot be.
constexpr int kLookupLimitMs = 10000;

}  // namespace

DiscoverServices::DiscoverServices(platform::ListFetcher& others, int noAnswerTimeoutMs,
                                   int transferLimitMs)
    : http_(nullptr, std::min(noAnswerTimeoutMs, kDatabaseNoAnswerMs), transferLimitMs),
      dns_(nullptr, kLookupLimitMs),
      sources_(discover::Sources::fromEnvironment(std::getenv("QOVA_RADIO_API"),
                                                  std::getenv("QOVA_TV_API"))),
      servers_(dns_, sources_.radioServers,
               [](std::size_t below) {
                   return static_cast<std::size_t>(
                       QRandomGenerator::global()->bounded(static_cast<quint64>(below)));
               }),
      radio_(http_, servers_),
      fetcher_(others, radio_, http_, sources_.tvBase,
               static_cast<std::size_t>(web::kMaxDownloadBytes),
               [this](std::function<platform::ListFetcher::Converted()> work,
                      std::function<void(platform::ListFetcher::Converted)> done) {
                   // Converted on a worker thread; heard here, never once this is gone.
                   runInBackground(&http_, std::move(work), std::move(done));
               }),
      plays_([this](const std::string& id) { radio_.countPlay(id); }) {}

DiscoverServices::~DiscoverServices() = default;

void DiscoverServices::attach(app::MainForm& logic) {
    discovery_ = std::make_unique<discover::Discovery>(
        logic.addedLists(), radio_, plays_,
        discover::CountryOfLocale(platform::toStdString(QLocale::system().name())));
    logic.onChannelStarted = [this, &logic] {
        plays_.started(logic.state().strCurrentRecord, logic.state().strAddedChannels);
    };
    logic.onChannelPlays = [this, &logic] { plays_.plays(logic.state().strCurrentRecord); };
}

}  // namespace qova::ui
