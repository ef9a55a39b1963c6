#include "versionreport.h"

#include "hostserver.h"
#include "wire.h"

namespace hostsim {

std::optional<VersionReport::Answer> ParseVersionAnswerKind(std::string_view word)
{
    if (word == "compare") return VersionReport::Answer::Compare;
    if (word == "ok") return VersionReport::Answer::Ok;
    if (word == "fileno") return VersionReport::Answer::FileNo;
    if (word == "diff") return VersionReport::Answer::Diff;
    return std::nullopt;
}

std::string VersionAnswerFrame(const VersionReport &report, std::string_view requestPayload)
{
    const std::string hostVersions = "DLL:" + report.dllVersion + " EXE:" + report.exeVersion;
    VersionReport::Answer kind = report.answer;
    if (kind == VersionReport::Answer::Compare)
        kind = requestPayload == hostVersions ? VersionReport::Answer::Ok : VersionReport::Answer::Diff;
    switch (kind) {
    case VersionReport::Answer::Ok: return wire::MakeFrame('V', "OK");
    case VersionReport::Answer::FileNo: return wire::MakeFrame('V', "FILENO");
    default: return wire::MakeFrame('V', "DIFF" + hostVersions);
    }
}

void InstallVersionReport(HostServer &server, const VersionReport &report)
{
    server.setFrameHandler('V', [report](HostConnection &c, const std::string &payload) {
        c.sendRaw(VersionAnswerFrame(report, payload));
    });
}

} // namespace hostsim
