// halvern recover: the rows of sessions that ended without cleaning up (a crash, a kill, a
// power cut), listed, saved to a file or discarded.
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "app/cli/commands.h"
#include "recording/data_files.h"
#include "recording/journal_folder.h"

namespace {

void printHelp(std::FILE* out) {
    std::fprintf(out,
                 "usage: halvern recover\n"
                 "       halvern recover --save FILE [--session ID]\n"
                 "       halvern recover --discard ID\n"
                 "Lists the recordings of windows and loggers that ended without saving their\n"
                 "rows (a crash, a kill, a power cut): one line each with its id, the time of\n"
                 "its first and last row, the rows and the link.\n"
                 "  --save FILE    writes the newest (or the chosen) session's rows to FILE,\n"
                 "                 the format chosen by its extension as convert does, then\n"
                 "                 removes the session\n"
                 "  --session ID   the session --save takes\n"
                 "  --discard ID   removes a session without saving it\n"
                 "The journal lives in $XDG_STATE_HOME/halvern/journal (default\n"
                 "~/.local/state/halvern/journal). Exit status 1 when there is nothing to\n"
                 "recover or the session is not found.\n");
}

std::string summaryLine(const SessionSummary& s) {
    std::string line = s.id + "  " + localTimeText(s.first) + " .. " + localTimeText(s.last) +
                       "  " + std::to_string(s.rows) + (s.rows == 1 ? " row" : " rows");
    line += "  " + (s.link.empty() ? std::string("unknown link") : s.link);
    if (s.droppedBytes > 0) {
        line += "  (" + std::to_string(s.droppedBytes) + " damaged bytes dropped)";
    }
    return line;
}

}  // namespace

int runRecoverCommand(int argc, char** argv) {
    std::string savePath;
    std::string sessionId;
    std::string discardId;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool hasValue = i + 1 < argc && argv[i + 1][0] != '\0';
        if (arg == "--help" || arg == "-h") {
            printHelp(stdout);
            return 0;
        } else if (arg == "--save" && hasValue) {
            savePath = argv[++i];
        } else if (arg == "--session" && hasValue) {
            sessionId = argv[++i];
        } else if (arg == "--discard" && hasValue) {
            discardId = argv[++i];
        } else {
            std::fprintf(stderr, "halvern recover: unknown or incomplete argument '%s'\n", argv[i]);
            printHelp(stderr);
            return 2;
        }
    }
    if (!discardId.empty() && (!savePath.empty() || !sessionId.empty())) {
        std::fprintf(stderr, "halvern recover: --discard goes alone\n");
        return 2;
    }
    if (!sessionId.empty() && savePath.empty()) {
        std::fprintf(stderr, "halvern recover: --session needs --save FILE\n");
        return 2;
    }

    const std::string folder = defaultJournalFolder();
    std::vector<RecoverableSession> sessions = findRecoverableSessions(folder);
    if (sessions.empty()) {
        std::fprintf(stderr, "halvern recover: nothing to recover in %s\n", folder.c_str());
        return 1;
    }

    if (savePath.empty() && discardId.empty()) {
        for (const RecoverableSession& s : sessions) {
            std::printf("%s\n", summaryLine(summarize(s.id(), s.read())).c_str());
        }
        return 0;
    }

    const std::string& wanted = discardId.empty() ? sessionId : discardId;
    RecoverableSession* chosen = wanted.empty() ? &sessions.back() : nullptr;
    for (RecoverableSession& s : sessions) {
        if (s.id() == wanted) {
            chosen = &s;
        }
    }
    if (chosen == nullptr) {
        std::fprintf(stderr, "halvern recover: no unfinished session %s (see halvern recover)\n",
                     wanted.c_str());
        return 1;
    }

    if (savePath.empty()) {
        if (const std::optional<Failure> f = chosen->discard()) {
            std::fprintf(stderr, "halvern recover: %s\n", f->text.c_str());
            return 1;
        }
        std::fprintf(stderr, "halvern recover: session %s discarded\n", chosen->id().c_str());
        return 0;
    }

    const JournalContent content = chosen->read();
    const FileOutcome saved = saveTable(content.rows, savePath);
    if (!saved.ok) {
        std::fprintf(stderr, "halvern recover: %s\n", saved.message.c_str());
        return 1;
    }
    if (content.droppedBytes > 0) {
        std::fprintf(stderr,
                     "halvern recover: %llu damaged bytes at the end of the journal were "
                     "dropped\n",
                     static_cast<unsigned long long>(content.droppedBytes));
    }
    if (const std::optional<Failure> f = chosen->discard()) {
        std::fprintf(stderr, "halvern recover: the rows are saved, but %s\n", f->text.c_str());
        return 1;
    }
    std::fprintf(stderr, "halvern recover: %zu rows of session %s saved to %s\n",
                 content.rows.rowCount(), chosen->id().c_str(), savePath.c_str());
    return 0;
}
