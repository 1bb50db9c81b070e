// Writes a few typical log lines through the process-wide log and says where they went. Logging is
// switched on by the registry value "Active" = "1" under SOFTWARE\Brenlow\Viewer\DebugLog (blreg) or
// by a LogSettings.ini beside this program; otherwise nothing is written.
#include <QDir>
#include <QFileInfo>
#include <cstdio>

#include "logging/BLBaseClasses.h"
#include "logging/BLLogging.h"
#include "util/Exception.h"

namespace {
class TDemoController : public TBLBaseLoggingObject {
public:
    void Run() {
        LogWorkflow(QStringLiteral("Run"), QStringLiteral(">"));
        try {
            throw EStreamError(QStringLiteral("Cannot open file Etk.blk"));
        } catch (const Exception& e) {
            LogException(QStringLiteral("Run"), e);
        }
        LogWarning(QStringLiteral("Run"), QStringLiteral("Port 1030 busy, trying 1031"));
        LogWorkflow(QStringLiteral("Run"), QStringLiteral("<"));
    }
};
}  // namespace

int main() {
    TBLVectoredExceptionHandler::InitializeExceptionHandler();
    AddToLog(QStringLiteral("Demo started with %s arguments"), {QStringLiteral("no")});
    TDemoController().Run();
    TBLLogController* controller = LogController();
    const bool active = controller && controller->LoggingActive();
    const TBLLogProps props = controller ? controller->LogConfig()->GetLogProps() : TBLLogProps();
    TBLVectoredExceptionHandler::FinalizeExceptionHandler();
    FinalizeLogging();
    const QString folder = props.LogFolder.isEmpty() || !QFileInfo(props.LogFolder).isDir()
                               ? TBLLoggingHelper::DefaultLogFolder() : props.LogFolder;
    if (!active) {
        std::printf("Logging is off: set Active=1 under SOFTWARE\\Brenlow\\Viewer\\DebugLog.\n");
        return 0;
    }
    std::printf("Log folder: %s\n", qPrintable(folder));
    return 0;
}
