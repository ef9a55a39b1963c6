// The host's side of the updater's version report: a "V" frame carrying
// "DLL:" + library version + " EXE:" + client version is answered with one
// "V" frame: "OK" when both versions are the host's, "DIFF" followed by the
// host's two versions in the same layout otherwise, or "FILENO" when the
// host has no file to offer. The answer can also be fixed whatever the
// request says.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace hostsim {

class HostServer;

struct VersionReport {
    enum class Answer {
        Compare, // "OK" when the request carries the host's versions, else "DIFF"
        Ok,
        FileNo,
        Diff,
    };
    Answer answer = Answer::Compare;
    std::string dllVersion = "1.0.0.8";
    std::string exeVersion = "1.0.0.8";
};

// "compare", "ok", "fileno", "diff"; nothing for any other word.
std::optional<VersionReport::Answer> ParseVersionAnswerKind(std::string_view word);

// The whole answer frame to a request's payload.
std::string VersionAnswerFrame(const VersionReport &report, std::string_view requestPayload);

// Answers every "V" frame on the server as `report` says (through the
// armed transport faults), replacing any "V" handler before it.
void InstallVersionReport(HostServer &server, const VersionReport &report);

} // namespace hostsim
