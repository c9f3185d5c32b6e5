// The channel directory as it arrives from the network, through the whole main window's logic
// on the fake platform: the country lists of both categories, every country's tree, a click on
// the first and last channel of each (their player pages), and a favourite starred and removed.
#include <cstddef>
#include <cstdint>
#include <string>

#include "app/main_form.h"
#include "fakes/fake_main.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace qova;
    fakes::FakeMain f;
    f.files.files["Config.txt"] = "URLTXT=http://127.0.0.1:1/channels.txt\r\n";
    f.files.files["Player.html"] = "\r\n";
    f.probe.results["rmocx.RealPlayer G2 Control"] = platform::ProbeResult::Object;
    f.cmdFavorite.setPicture(f.cmdAddFav.picture());
    app::MainForm form{f.controls, state::Site{"http://127.0.0.1:1", "help@127.0.0.1"}};
    form.Form_Load();
    f.wbDownload.complete(fuzz::text(data, size));
    for (const bool radio : {false, true}) {
        radio ? form.imgRadio_Click() : form.imgTV_Click();
        const std::vector<std::string> countries = f.cmbCountry.items;
        for (std::size_t i = 0; i < countries.size() && i < fuzz::kMaxVisits; ++i) {
            f.cmbCountry.choose(countries[i]);
            const int nodes = f.trView.nodeCount();
            for (const int node : {1, nodes}) {
                if (nodes < 1)
                    break;
                f.trView.click(node);
                form.cmdFavorite_Click();  // starred
                form.cmdFavorite_Click();  // and removed again
            }
        }
    }
    form.imgFavorits_Click();
    return 0;
}
