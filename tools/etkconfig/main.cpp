// etkconfig: reads and writes configuration files (project files, user files) from the command line,
// through the same stores the program uses, so scripts and administrators change them safely while
// the program runs. With --project it opens a project file the way the program does (the user's keys
// go to the per-user file, a variant may be chosen). Exit codes: 0 done, 1 key (or attribute)
// missing, 2 usage, 3 file or format error.
#include <QCoreApplication>
#include <QFileInfo>
#include <QStringList>
#include <cstdio>

#include "config/ETKConfigDomXML.h"
#include "config/EtkConfigExe.h"
#include "config/EtkConfigFastDomXml.h"
#include "platform/FileLock.h"
#include "util/Exception.h"

namespace {

constexpr int ExitOk = 0;
constexpr int ExitMissing = 1;
constexpr int ExitUsage = 2;
constexpr int ExitFileError = 3;

const char* const UsageText =
    "usage: etkconfig [--dom] get FILE KEY\n"
    "       etkconfig [--dom] read FILE KEY string|int|bool|list [DEFAULT]\n"
    "       etkconfig [--dom] write FILE KEY string|int|bool|list VALUE...\n"
    "       etkconfig [--dom] attr FILE KEY NAME [VALUE]\n"
    "       etkconfig [--dom] keys FILE [KEY]\n"
    "       etkconfig [--dom] all-keys FILE KEY\n"
    "       etkconfig [--dom] delete FILE KEY\n"
    "       etkconfig --project FILE.blk [--variant NAME] get|read|write|attr|keys|all-keys|delete ...\n"
    "       etkconfig --project FILE.blk languages\n";

struct TUsageError {
    QString Text;
};

void Print(const QString& Text) {
    const QByteArray bytes = Text.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
}

void PrintError(const QString& Text) {
    const QByteArray bytes = QByteArrayLiteral("etkconfig: ") + Text.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
}

bool ParseBool(const QString& Text, bool& Value) {
    const QString lower = Text.toLower();
    if (lower == QLatin1String("true") || lower == QLatin1String("1")) {
        Value = true;
        return true;
    }
    if (lower == QLatin1String("false") || lower == QLatin1String("0")) {
        Value = false;
        return true;
    }
    return false;
}

bool AttributeOf(const QStringList& Lines, const QString& Name, QString& Value) {
    for (const QString& line : Lines) {
        if (line.startsWith(Name + QLatin1Char('|'))) {
            Value = line.mid(Name.size() + 1);
            return true;
        }
    }
    return false;
}

bool Writes(const QString& Command, const QStringList& Args) {
    return Command == QLatin1String("write") || Command == QLatin1String("delete") ||
           (Command == QLatin1String("attr") && Args.size() == 3);
}

// The stored text with its type letter, as the file holds it.
QString RawText(TEtkConfigXMLFast& Store, const QString& Key, bool& Found) { return Store.ReadRawText(Key, &Found); }
QString RawText(TEtkConfigXML& Store, const QString& Key, bool& Found) { return Store.ReadRawText(Key, &Found); }
QString RawText(TEtkConfig& Config, const QString& Key, bool& Found) {
    static const QString letters = QStringLiteral("sibl");
    int typ = 0;
    QString data;
    Found = Config.ReadRawData(Key, typ, data);
    return letters.mid(typ, 1) + data;
}

// The commands on an opened store or configuration.
template <class TStore>
int RunCommand(TStore& Store, const QString& Command, const QStringList& Args) {
    auto need = [&](qsizetype Minimum, qsizetype Maximum) {
        if (Args.size() < Minimum || Args.size() > Maximum)
            throw TUsageError{QStringLiteral("wrong number of arguments for ") + Command};
    };

    if (Command == QLatin1String("get")) {
        need(1, 1);
        bool found = false;
        const QString raw = RawText(Store, Args[0], found);
        if (!found)
            return ExitMissing;
        Print(raw);
        return ExitOk;
    }
    if (Command == QLatin1String("read")) {
        need(2, 3);
        const QString& key = Args[0];
        const QString& type = Args[1];
        const bool hasDefault = Args.size() == 3;
        if (type != QLatin1String("string") && type != QLatin1String("int") && type != QLatin1String("bool") &&
            type != QLatin1String("list"))
            throw TUsageError{QStringLiteral("unknown type ") + type};
        if (!hasDefault && !Store.KeyExists(key))
            return ExitMissing;
        const QString defaultText = hasDefault ? Args[2] : QString();
        if (type == QLatin1String("string")) {
            Print(Store.ReadString(key, defaultText));
        } else if (type == QLatin1String("int")) {
            bool ok = true;
            const int fallback = hasDefault ? defaultText.toInt(&ok) : 0;
            if (!ok)
                throw TUsageError{QStringLiteral("DEFAULT is no integer: ") + defaultText};
            Print(QString::number(Store.ReadInteger(key, fallback)));
        } else if (type == QLatin1String("bool")) {
            bool fallback = false;
            if (hasDefault && !ParseBool(defaultText, fallback))
                throw TUsageError{QStringLiteral("DEFAULT is no boolean: ") + defaultText};
            Print(Store.ReadBool(key, fallback) ? QStringLiteral("true") : QStringLiteral("false"));
        } else {
            QStringList items = Store.ReadStrings(key);
            if (items.isEmpty() && hasDefault && !defaultText.isEmpty())
                items = QStringList{defaultText};
            for (const QString& item : items)
                Print(item);
        }
        return ExitOk;
    }
    if (Command == QLatin1String("write")) {
        if (Args.size() < 2)
            throw TUsageError{QStringLiteral("wrong number of arguments for write")};
        const QString& key = Args[0];
        const QString& type = Args[1];
        const QStringList values = Args.mid(2);
        if (type == QLatin1String("list")) {
            Store.WriteStrings(key, values);
            return ExitOk;
        }
        if (values.size() != 1)
            throw TUsageError{QStringLiteral("write takes one VALUE for ") + type};
        if (type == QLatin1String("string")) {
            Store.WriteString(key, values[0]);
        } else if (type == QLatin1String("int")) {
            bool ok = false;
            const int value = values[0].toInt(&ok);
            if (!ok)
                throw TUsageError{QStringLiteral("VALUE is no integer: ") + values[0]};
            Store.WriteInteger(key, value);
        } else if (type == QLatin1String("bool")) {
            bool value = false;
            if (!ParseBool(values[0], value))
                throw TUsageError{QStringLiteral("VALUE is no boolean: ") + values[0]};
            Store.WriteBool(key, value);
        } else {
            throw TUsageError{QStringLiteral("unknown type ") + type};
        }
        return ExitOk;
    }
    if (Command == QLatin1String("attr")) {
        need(2, 3);
        if (Args.size() == 3) {
            Store.WriteAttribute(Args[0], Args[1], Args[2]);
            return ExitOk;
        }
        QString value;
        if (!AttributeOf(Store.ReadAllAttributes(Args[0]), Args[1], value))
            return ExitMissing;
        Print(value);
        return ExitOk;
    }
    if (Command == QLatin1String("keys") || Command == QLatin1String("all-keys")) {
        if (Command == QLatin1String("keys"))
            need(0, 1);
        else
            need(1, 1);
        const QString key = Args.value(0);
        if (!key.isEmpty() && !Store.KeyExists(key))
            return ExitMissing;
        const QStringList keys = Command == QLatin1String("keys") ? Store.ReadKeys(key) : Store.ReadAllKeys(key);
        for (const QString& name : keys)
            Print(name);
        return ExitOk;
    }
    if (Command == QLatin1String("delete")) {
        need(1, 1);
        if (!Store.KeyExists(Args[0]))
            return ExitMissing;
        Store.DeleteKey(Args[0]);
        return ExitOk;
    }
    throw TUsageError{QStringLiteral("unknown command ") + Command};
}

template <class TStore>
int RunOnFile(TStore& Store, const QString& Command, const QString& FileName, const QStringList& Args) {
    const bool writes = Writes(Command, Args);
    if (!Platform::FileExists(FileName) && !writes) {
        PrintError(QStringLiteral("Datei nicht gefunden: ") + FileName);
        return ExitFileError;
    }
    if (Command == QLatin1String("delete") && !Platform::FileExists(FileName))
        return ExitMissing;
    Store.SetFileName(FileName);
    if (writes && Store.isXMLReadonly()) {
        PrintError(QStringLiteral("Datei ist schreibgeschützt: ") + FileName);
        return ExitFileError;
    }
    return RunCommand(Store, Command, Args);
}

void PrintLanguages(TEtkConfig& Config) {
    Print(QStringLiteral("viewer: ") + Config.GetActViewerSprache());
    Print(QStringLiteral("database: ") + Config.GetActDatabaseSprache());
    Print(QStringLiteral("documentation: ") + Config.GetActDokuSprache());
    Print(QStringLiteral("viewer languages: ") + Config.GetViewerSprachen(false, true).join(QLatin1Char(' ')));
    Print(QStringLiteral("database languages: ") + Config.GetDataBaseSprachen().join(QLatin1Char(' ')));
    Print(QStringLiteral("documentation languages: ") + Config.GetDokuSprachen().join(QLatin1Char(' ')));
}

// Opens the project file as the program does: main file, then the per-user file, created or updated
// from the project file.
int RunOnProject(const QString& FileName, const QString& Variant, const QString& Command, const QStringList& Args) {
    if (!Platform::FileExists(FileName)) {
        PrintError(QStringLiteral("Datei nicht gefunden: ") + FileName);
        return ExitFileError;
    }
    TEtkConfigExe config;
    config.SetRodUviIstRunning(false);
    config.SetMainConfigFile(FileName, true);
    if (!config.InitUserConfigFile(true)) {
        PrintError(QStringLiteral("Benutzerkonfiguration nicht verwendbar: ") + config.MakeUserCfg(FileName, false));
        return ExitFileError;
    }
    if (!Variant.isEmpty()) {
        const QStringList variants = config.ReadMultiConfigKeys();
        if (!variants.contains(Variant))
            throw TUsageError{QStringLiteral("unknown variant %1 (variants: %2)").arg(Variant, variants.join(QLatin1String(", ")))};
        config.SetMultiConfigNameRead(Variant);
        config.SetMultiConfigNameWrite(Variant);
    }
    if (Command == QLatin1String("languages")) {
        if (!Args.isEmpty())
            throw TUsageError{QStringLiteral("languages takes no arguments")};
        PrintLanguages(config);
        return ExitOk;
    }
    if (Writes(Command, Args) && config.IsConfigReadonly(false, false) && !Args.value(0).startsWith(QLatin1String("USER"))) {
        PrintError(QStringLiteral("Datei ist schreibgeschützt: ") + FileName);
        return ExitFileError;
    }
    return RunCommand(config, Command, Args);
}

// Takes "--name VALUE" from the front of Args.
QString TakeOption(QStringList& Args, const QString& Name) {
    if (Args.size() < 2 || Args.front() != Name)
        return QString();
    Args.removeFirst();
    return Args.takeFirst();
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const QString project = TakeOption(args, QStringLiteral("--project"));
    const QString variant = project.isEmpty() ? QString() : TakeOption(args, QStringLiteral("--variant"));
    const bool dom = project.isEmpty() && !args.isEmpty() && args.front() == QLatin1String("--dom");
    if (dom)
        args.removeFirst();
    const qsizetype minimum = project.isEmpty() ? 2 : 1;
    if (args.size() < minimum || args.front() == QLatin1String("--help") || args.front().startsWith(QLatin1String("--"))) {
        std::fputs(UsageText, stderr);
        return ExitUsage;
    }
    const QString command = args.takeFirst();
    try {
        if (!project.isEmpty())
            return RunOnProject(QFileInfo(project).absoluteFilePath(), variant, command, args);
        const QString fileName = QFileInfo(args.takeFirst()).absoluteFilePath();
        if (dom) {
            TEtkConfigXML store;
            return RunOnFile(store, command, fileName, args);
        }
        TEtkConfigXMLFast store;
        return RunOnFile(store, command, fileName, args);
    } catch (const TUsageError& e) {
        PrintError(e.Text);
        std::fputs(UsageText, stderr);
        return ExitUsage;
    } catch (const Exception& e) {
        PrintError(e.Message());
        return ExitFileError;
    } catch (const std::exception& e) {
        PrintError(QString::fromUtf8(e.what()));
        return ExitFileError;
    }
}
