// The office the feed writes into: one that already accepts on the pipe, or one the
// library starts for this run, waits for and, at the end, ends.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "console.hpp"
#include "core/error.hpp"
#include "stop_signals.hpp"

namespace corvane::feed {

struct OfficeSettings {
    std::string office;       // office program
    std::string commandLine;  // "" for headless on a throw-away profile
    std::string workbook;
    double waitSeconds = 60;
    bool keepOffice = false;
    bool savesCopies = false;  // --save-as was given
};

class FeedOffice {
  public:
    FeedOffice(OfficeSettings settings, const StopSignals& stop, Console& console);
    // Ends an office this run started unless told to keep it (see Close).
    ~FeedOffice();
    FeedOffice(const FeedOffice&) = delete;
    FeedOffice& operator=(const FeedOffice&) = delete;

    // Loads the workbook in the office on the pipe, or starts one and waits for it.
    // Fails with the library's code, Timeout when a call into the office ran past the
    // call deadline (the office is stopped or hanging), or Argument when the command
    // line leaves no workbook or no office to start.
    corvane::Error Open();

    // Stores a copy of the workbook at `path`, failing with the library's code.
    corvane::Error SaveCopy(const std::string& path);

    // Ends the run's library connection to the office, which keeps running with the
    // workbook open, so that a live table of the run holds the only connection (cutting
    // off a stuck office releases the table's calls only then). Close connects again
    // when it has an office to end.
    void HandOver();

    // Shuts the office down when this run started it and is not told to keep it; an
    // office found running is left alone. Safe to call twice.
    void Close();
    // From another thread, when the program must end at once: kills the office started
    // for this run on its throw-away profile and deletes the profile.
    void Abandon();

  private:
    corvane::Error StartAndWait();
    // Prints the library's warnings, held back while the streams were silenced.
    void ShowWarnings();
    static void CollectWarning(const char* text, void* office);

    OfficeSettings settings_;
    const StopSignals& stop_;
    Console& console_;
    bool started_ = false;
    bool closed_ = false;
    bool handedOver_ = false;
    // Whether Abandon kills: an office started for this run on a profile of its own.
    std::atomic<bool> abandonable_{false};
    std::vector<std::string> warnings_;
};

}  // namespace corvane::feed
