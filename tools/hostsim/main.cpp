// hostsim: the simulated service host as a program.
//
//   hostsim --port N [--scenario file.json] [--key ZelcoranHostPrivate.key] [--verbose]
//           [--state FILE] [--versions DLL,EXE | --versions-from FOLDER]
//           [--version-answer compare|ok|fileno|diff]
//
// Listens on 127.0.0.1:N and serves until it is killed. The highest
// key-block stamp taken is kept across runs (a run never takes a block an
// earlier run may have taken) in FILE, or without --state in
// $XDG_STATE_HOME/fennimarch/hostsim/<key id>.state ($HOME/.local/state/...),
// held by this host alone while it runs; a state it cannot keep there stops
// it at its start (exit code 2).
// With --versions-from the host's versions for the updater's version report
// are those of Omvertis.dll and Marrowick.exe in FOLDER, read as the updater
// reads them (the demo passes its working folder, so that the demo's own
// files are current).
//
//   hostsim --write-public-key FILE [--key ZelcoranHostPrivate.key]
//
// Writes the public key file the client needs (ZelcoranHost.key) for the
// host's key, the demo key by default, and exits.
//
//   hostsim --write-transfer-file FILE --bank NN --records N
//
// Writes a transfer file (header, N data records, trailer; 148 characters and
// CR LF each) of bank NN dated today, for a demo working folder, and exits.
#include "hostserver.h"
#include "versionreport.h"
#include "wire.h"

#include "platform/paths.h"
#include "platform/versioninfo.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDate>

#include <cstdio>
#include <fstream>

using namespace hostsim;

namespace {

void Print(const std::string &line)
{
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

std::string Hex(const QByteArray &bytes)
{
    return bytes.toHex().toStdString();
}

// A received telegram as readable text: the code page turned into UTF-8,
// other control bytes shown as '.'.
std::string Readable(const QByteArray &telegram)
{
    std::string bytes(telegram.constData(), size_t(telegram.size()));
    for (char &ch : bytes)
        if (static_cast<unsigned char>(ch) < 0x20 || ch == 0x7f)
            ch = '.';
    return wire::FromCp949(bytes);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("hostsim");

    QCommandLineParser parser;
    parser.setApplicationDescription("Simulated service host on the loopback address.");
    parser.addHelpOption();
    QCommandLineOption portOpt("port", "Port to listen on (0: any free port).", "N");
    QCommandLineOption scenarioOpt("scenario", "Scenario file (JSON).", "file");
    QCommandLineOption keyOpt("key", "Host private key file (64 hex digits); default: the demo key.",
                              "file");
    QCommandLineOption verboseOpt("verbose", "Print what the host receives.");
    QCommandLineOption stateOpt("state",
                                "Key state file: the highest key-block stamp taken, kept across runs "
                                "(default: one per host key under $XDG_STATE_HOME/fennimarch/hostsim).",
                                "file");
    QCommandLineOption versionsOpt("versions",
                                   "The host's library and client versions for the updater's "
                                   "version report (default 1.0.0.8,1.0.0.8).",
                                   "DLL,EXE");
    QCommandLineOption versionsFromOpt("versions-from",
                                       "The host's versions are those of Omvertis.dll and "
                                       "Marrowick.exe in this folder.",
                                       "folder");
    QCommandLineOption versionAnswerOpt("version-answer",
                                        "Answer to a version report: compare (default), ok, "
                                        "fileno or diff.",
                                        "kind");
    QCommandLineOption writePublicOpt("write-public-key",
                                      "Write the host's public key file for the client and exit.", "file");
    QCommandLineOption writeFileOpt("write-transfer-file", "Write a demo transfer file and exit.", "file");
    QCommandLineOption bankOpt("bank", "Two-digit bank code of the transfer file (default 26).", "NN");
    QCommandLineOption recordsOpt("records", "Data records of the transfer file (default 10).", "N");
    parser.addOptions({portOpt, scenarioOpt, keyOpt, verboseOpt, stateOpt, versionsOpt, versionsFromOpt,
                       versionAnswerOpt, writePublicOpt, writeFileOpt, bankOpt, recordsOpt});
    parser.process(app);

    HostKey hostKey = HostKey::demo();
    if (parser.isSet(keyOpt)) {
        auto key = HostKey::fromFile(parser.value(keyOpt).toStdString());
        if (!key) {
            std::fprintf(stderr, "hostsim: cannot read a private key from %s\n",
                         parser.value(keyOpt).toLocal8Bit().constData());
            return 2;
        }
        hostKey = *key;
    }
    if (parser.isSet(writePublicOpt)) {
        if (!hostKey.writePublicKeyFile(parser.value(writePublicOpt).toLocal8Bit().constData())) {
            std::fprintf(stderr, "hostsim: cannot write %s\n",
                         parser.value(writePublicOpt).toLocal8Bit().constData());
            return 1;
        }
        return 0;
    }

    if (parser.isSet(writeFileOpt)) {
        bool countOk = false;
        const int records = parser.isSet(recordsOpt) ? parser.value(recordsOpt).toInt(&countOk) : 10;
        if ((parser.isSet(recordsOpt) && !countOk) || records < 0 || records > 10001) {
            std::fprintf(stderr, "hostsim: --records takes 0 to 10001\n");
            return 2;
        }
        const std::string bank = parser.isSet(bankOpt) ? parser.value(bankOpt).toStdString() : "26";
        const std::string today = QDate::currentDate().toString("yyyyMMdd").toStdString();
        std::ofstream out(parser.value(writeFileOpt).toLocal8Bit().constData(), std::ios::binary);
        for (const std::string &rec : MakeResultRecords(bank, today, records)) out << rec << "\r\n";
        out.close();
        if (!out) {
            std::fprintf(stderr, "hostsim: cannot write %s\n", parser.value(writeFileOpt).toLocal8Bit().constData());
            return 1;
        }
        return 0;
    }

    if (!parser.isSet(portOpt)) {
        std::fprintf(stderr, "hostsim: --port N is required\n");
        return 2;
    }
    bool ok = false;
    uint port = parser.value(portOpt).toUInt(&ok);
    if (!ok || port > 65535) {
        std::fprintf(stderr, "hostsim: '%s' is not a port number\n",
                     parser.value(portOpt).toLocal8Bit().constData());
        return 2;
    }

    HostServer server;
    if (parser.isSet(scenarioOpt)) {
        std::string error;
        auto scenario = Scenario::fromFile(parser.value(scenarioOpt), QDate::currentDate(), &error);
        if (!scenario) {
            std::fprintf(stderr, "hostsim: %s\n", error.c_str());
            return 2;
        }
        server.setScenario(*scenario);
    }
    server.setHostKey(hostKey);
    {
        // Without --state the highest stamp is kept in a place of the host's
        // own for its key pair, so a restart never takes a block again. A
        // state the host cannot keep there stops it here.
        std::string error;
        const bool kept = parser.isSet(stateOpt) ? server.setKeyStateFile(parser.value(stateOpt), &error)
                                                 : server.openKeyState(&error);
        if (!kept) {
            std::fprintf(stderr, "hostsim: %s\n", error.c_str());
            return 2;
        }
    }
    // A state write failing later refuses a key; it is said whatever the
    // verbosity.
    QObject::connect(&server, &HostServer::keyStateWriteFailed, [](const QString &what) {
        std::fprintf(stderr, "hostsim: %s\n", what.toLocal8Bit().constData());
    });

    VersionReport report;
    if (parser.isSet(versionsOpt)) {
        const QStringList parts = parser.value(versionsOpt).split(',');
        if (parts.size() != 2) {
            std::fprintf(stderr, "hostsim: --versions takes two versions, DLL,EXE\n");
            return 2;
        }
        report.dllVersion = parts[0].toStdString();
        report.exeVersion = parts[1].toStdString();
    }
    if (parser.isSet(versionsFromOpt)) {
        if (parser.isSet(versionsOpt)) {
            std::fprintf(stderr, "hostsim: --versions and --versions-from exclude each other\n");
            return 2;
        }
        const std::string folder = parser.value(versionsFromOpt).toLocal8Bit().toStdString();
        std::string *versions[] = {&report.dllVersion, &report.exeVersion};
        const char *files[] = {"Omvertis.dll", "Marrowick.exe"};
        for (int i = 0; i < 2; ++i) {
            const std::string path = fm::NativePath(folder + "\\" + files[i]);
            *versions[i] = fm::GetFileVersionString(path, "FileVersion");
            if (versions[i]->empty()) {
                std::fprintf(stderr, "hostsim: %s has no file version\n", path.c_str());
                return 2;
            }
        }
    }
    if (parser.isSet(versionAnswerOpt)) {
        auto kind = ParseVersionAnswerKind(parser.value(versionAnswerOpt).toStdString());
        if (!kind) {
            std::fprintf(stderr, "hostsim: '%s' is not a version answer\n",
                         parser.value(versionAnswerOpt).toLocal8Bit().constData());
            return 2;
        }
        report.answer = *kind;
    }
    InstallVersionReport(server, report);

    if (parser.isSet(verboseOpt)) {
        QObject::connect(&server, &HostServer::clientConnected,
                         [](int id) { Print("[" + std::to_string(id) + "] connected"); });
        QObject::connect(&server, &HostServer::clientDisconnected,
                         [](int id) { Print("[" + std::to_string(id) + "] disconnected"); });
        QObject::connect(&server, &HostServer::keyBlockReceived, [](int id, const QByteArray &b) {
            Print("[" + std::to_string(id) + "] key " + Hex(b));
        });
        QObject::connect(&server, &HostServer::telegramReceived, [](int id, const QByteArray &t) {
            Print("[" + std::to_string(id) + "] recv " + Readable(t));
        });
        QObject::connect(&server, &HostServer::protocolError, [](int id, const QString &what) {
            Print("[" + std::to_string(id) + "] error: " + what.toStdString());
        });
    }

    if (!server.listen(quint16(port))) {
        std::fprintf(stderr, "hostsim: cannot listen on 127.0.0.1:%u: %s\n", port,
                     server.errorString().toLocal8Bit().constData());
        return 1;
    }
    Print("hostsim listening on 127.0.0.1:" + std::to_string(server.port()));
    return app.exec();
}
