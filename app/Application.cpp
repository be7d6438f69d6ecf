#include "Application.h"

#include "MainFrame.h"
#include "SignalRelay.h"
#include "base/ConfigFolder.h"
#include "core/Settings.h"
#include "platform/qt/QtPlatform.h"

#include <QApplication>
#include <QFile>
#include <QMessageBox>

#include <clocale>

namespace telvo {

CommandLineFile ParseCommandLine(const QStringList& arguments) {
    CommandLineFile result;
    if (arguments.isEmpty()) {
        return result;
    }
    const QByteArray name = QFile::encodeName(arguments.front());
    std::string path(name.constData(), static_cast<std::size_t>(name.size()));
    // The settings hold 259 bytes of a path; a longer name is refused, not cut, since a cut
    // name would open some other file.
    if (path.size() >= PathCapacity) {
        result.refused = std::move(path);
    } else {
        result.path = std::move(path);
    }
    return result;
}

int RunApplication(int& argc, char** argv) {
    QApplication app(argc, argv);
    // Qt has set the C library's locale from the environment; numbers written or read as text
    // must read "2.5" in every locale. Before any thread of ours starts.
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setApplicationName(QStringLiteral("TelvoView"));
    QApplication::setOrganizationName(QString());

    QStringList arguments = QApplication::arguments();
    if (!arguments.isEmpty()) {
        arguments.removeFirst();
    }
    const CommandLineFile commandLine = ParseCommandLine(arguments);

    MainFrameOptions options;
    std::string error;
    options.configFolder = ConfigFolder(&error);
    if (options.configFolder.empty()) {
        QMessageBox::warning(nullptr, QStringLiteral("TelvoView"),
                             QStringLiteral("The settings folder cannot be made (%1). TelvoView "
                                            "starts with the default settings and cannot save "
                                            "them.")
                                 .arg(QString::fromStdString(error)));
    }
    options.commandLineFile = commandLine.path;
    options.refusedCommandLineFile = commandLine.refused;

    CMainFrame frame(std::move(options));
    SignalRelay relay([&frame](int) { frame.CloseFromSignal(); });
    if (!frame.Create()) {
        return 1;
    }
    frame.showNormal();
    frame.raise();
    return QApplication::exec();
}

} // namespace telvo
