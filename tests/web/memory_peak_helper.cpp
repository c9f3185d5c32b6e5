// Reads one file the way the program reads a download, in a process of its own, and says the
// most memory the process held: "directory <file>" through the directory browser and its
// transform, "list <file>" through the added lists' fetcher and conversion. Prints
// "peak_kib <n>" and "bytes <n>" (the size of the text made) and exits 0 once the file was read;
// a process that runs away is stopped by its limits instead of the machine.
#include <sys/resource.h>

#include <QCoreApplication>
#include <QTimer>
#include <cstdio>
#include <string>

#include "directory/added_lists.h"
#include "directory/directory_download.h"
#include "web/network_browser.h"
#include "web/network_list_fetcher.h"

namespace {

void limit(int resource, rlim_t most) {
    const rlimit bound{most, most};
    setrlimit(resource, &bound);
}

long peakKib() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3)
        return 2;
    limit(RLIMIT_AS, rlim_t{4} << 30);
    limit(RLIMIT_CPU, 120);
    QCoreApplication app(argc, argv);
    const std::string mode = argv[1];
    const std::string file = argv[2];
    std::size_t made = 0;
    bool read = false;

    qova::web::NetworkBrowser browser(nullptr, 30000);
    qova::web::NetworkListFetcher lists(nullptr, 30000);
    if (mode == "directory") {
        browser.setTextTransform(&qova::directory::ListPageAsDirectoryLines);
        browser.onNavigateError = [&](const std::string&, std::int32_t) { app.exit(3); };
        browser.onDocumentComplete = [&](const std::string&) {
            made = browser.bodyText().size();
            read = true;
            app.quit();
        };
        browser.navigate2(file);
    } else if (mode == "list") {
        lists.fetch(file, &qova::directory::ConvertedList,
                    [&](qova::platform::ListFetcher::Outcome outcome) {
                        made = outcome.lines.size();
                        read = outcome.error.empty();
                        app.exit(read ? 0 : 3);
                    });
    } else {
        return 2;
    }
    const int status = app.exec();
    if (!read)
        return status == 0 ? 3 : status;
    std::printf("peak_kib %ld\nbytes %zu\n", peakKib(), made);
    return 0;
}
