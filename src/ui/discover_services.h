#pragma once

#include <memory>

#include "discover/discovered_list_fetcher.h"
#include "discover/discovery.h"
#include "discover/play_count.h"
#include "discover/radio_database.h"
#include "discover/radio_servers.h"
#include "discover/sources.h"
#include "web/discover_network.h"

namespace qova::app {
class MainForm;
}  // namespace qova::app

namespace qova::ui {

/// Discovering channels beside the main window: the sources' network, where QOVA_RADIO_API and
/// QOVA_TV_API are read; the fetcher of the added lists that knows the discovered ones; the
/// count of the stations' plays; and the discover window's logic.
class DiscoverServices {
  public:
    /// others fetches every list that is not one of the sources'.
    DiscoverServices(platform::ListFetcher& others, int noAnswerTimeoutMs, int transferLimitMs);
    ~DiscoverServices();

    /// The fetcher the main window's added lists use.
    platform::ListFetcher& listFetcher() { return fetcher_; }
    /// The main window's logic is there: its starts and plays are counted, and the discover
    /// window's logic works on its added lists.
    void attach(app::MainForm& logic);
    discover::Discovery& discovery() { return *discovery_; }

  private:
    web::NetworkGetter http_;
    web::HostResolver dns_;
    discover::Sources sources_;
    discover::RadioServers servers_;
    discover::RadioDatabase radio_;
    discover::DiscoveredListFetcher fetcher_;
    discover::PlayCount plays_;
    std::unique_ptr<discover::Discovery> discovery_;
};

}  // namespace qova::ui
