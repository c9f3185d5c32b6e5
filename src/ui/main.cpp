#include <QApplication>

#include "ui/frm_main.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("QOVA"));
    qova::ui::useWindowFont();

    qova::ui::FrmMainOptions options;
    options.programFolder = QApplication::applicationDirPath().toStdString();
    qova::ui::FrmMain window(std::move(options));
    window.load();
    window.show();
    return QApplication::exec();
}
