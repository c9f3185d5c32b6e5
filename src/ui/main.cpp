#include <QApplication>
#include <cstdlib>

#include "platform/files_folder.h"
#include "player/mpv_engine.h"
#include "ui/frm_main.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("QOVA"));
    qova::player::prepareProcess();
    qova::ui::useWindowFont();

    const std::string programFolder = QApplication::applicationDirPath().toStdString();
    const auto files = qova::platform::filesFolderFor(programFolder, std::getenv("XDG_DATA_HOME"),
                                                      std::getenv("HOME"));
    qova::ui::FrmMainOptions options;
    options.programFolder = files ? files->folder : programFolder;
    if (files)
        options.defaultsFolder = files->defaults;
    // Unloaded when closed, as "&Exit" and the close box both do; the program goes on while a
    // browser window it opened is still open.
    auto* window = new qova::ui::FrmMain(std::move(options));
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->load();
    window->show();
    return QApplication::exec();
}
