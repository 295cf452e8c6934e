#include "office/office_provider.hpp"

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <thread>
#include <utility>

#include "office/connection.hpp"
#include "office/local_runtime.hpp"
#include "office/office_pipe.hpp"
#include "office/office_profile.hpp"
#include "office/office_start.hpp"
#include "office/stale_lock.hpp"
#include "platform/scratch_files.hpp"

namespace corvane::office {
namespace {

// How often an owned office that is starting is asked whether it accepts yet, and any
// other office waited for.
constexpr std::chrono::milliseconds kOwnPoll{100};
constexpr std::chrono::milliseconds kRetryPause{250};
// How finely a pause or a wait for an office's end notices what it waits for.
constexpr std::chrono::milliseconds kPauseSlice{25};
// Throw-away profiles are named so, and those older than this that no office uses (left
// by a host that died) are removed when the next one is made.
constexpr char kOwnPrefix[] = "corvane-live-";
constexpr char kSharedPrefix[] = "corvane-office-";
constexpr std::chrono::seconds kScratchAge{60};
// How long a killed office's group is waited for.
constexpr int kKillWaitMs = 10000;

}  // namespace

OfficeProvider::OfficeProvider(ProviderOptions options) : options_(std::move(options)) {
    const platform::Lock lock(mu_);
    profile_ = options_.launch.profile;
}

OfficeProvider::~OfficeProvider() {
    if (options_.source != OfficeSource::Own) return;  // it runs on after this process
    Stop();
    RemoveScratchProfile();
}

pid_t OfficeProvider::Pid() {
    const pid_t first = FirstStarted();
    if (first == 0) officePid_ = 0;
    return first;
}

pid_t OfficeProvider::FirstStarted() {
    const platform::Lock lock(mu_);
    started_.erase(std::remove_if(started_.begin(), started_.end(),
                                  [](pid_t pid) { return !platform::ProcessRunning(pid); }),
                   started_.end());
    return started_.empty() ? 0 : started_.front();
}

bool OfficeProvider::StartedAny() {
    const platform::Lock lock(mu_);
    return !started_.empty();
}

std::string OfficeProvider::Profile() const {
    const platform::Lock lock(mu_);
    return profile_;
}

std::string OfficeProvider::ConnectionUrl() const {
    return pipe_.empty() ? office::ConnectionUrl() : office::ConnectionUrl(pipe_);
}

Error OfficeProvider::Acquire(Clock::time_point deadline, const Attempt& attempt) {
    return Acquire(deadline, attempt, &options_.launch);
}

Error OfficeProvider::Acquire(Clock::time_point deadline, const Attempt& attempt,
                              const OfficeLaunch* launch) {
    restarted_ = false;
    if (cancelled_) return {ErrorCode::Connect, "the office is no longer waited for"};
    if (options_.source == OfficeSource::Own) return AcquireOwn(attempt);
    return AcquireAny(deadline, attempt, launch);
}

Error OfficeProvider::AcquireAny(Clock::time_point deadline, const Attempt& attempt,
                                 const OfficeLaunch* launch) {
    const std::uint64_t interrupts = interrupts_;
    bool startedHere = false;
    for (;;) {
        const Error result = attempt();
        if (result.ok() || options_.source == OfficeSource::Attach) return result;
        // Only an office that does not answer yet is worth waiting for; one this wait
        // started may also miss a call's deadline while it starts. One that ran before
        // and misses it is stuck: that is the caller's to handle.
        const bool running = Pid() != 0;
        if (result != ErrorCode::Connect &&
            !(result == ErrorCode::Timeout && running && startedHere))
            return result;
        if (!running && launch != nullptr) {
            if (Error started = Start(*launch); !started.ok()) return started;
            startedHere = true;
        }
        const Clock::time_point now = Clock::now();
        if (now >= deadline) return result;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
        if (!Pause(std::min(kRetryPause, left), interrupts)) return result;
    }
}

Error OfficeProvider::AcquireOwn(const Attempt& attempt) {
    const std::uint64_t interrupts = interrupts_;
    if (std::exchange(firstAcquire_, false) && Pid() == 0) {
        // Whatever answers on the pipe before our office started may be a person's.
        const Error other = attempt();
        if (other.ok() || !foreign_.empty())
            return {ErrorCode::Office,
                    "an office this table did not start accepts on the pipe already: attach "
                    "to it, or end it"};
        if (other != ErrorCode::Connect) return other;
    }
    for (;;) {
        if (StartedAny() && Pid() == 0) Stop();
        if (!StartedAny()) {
            // The lock file a killed office left beside the workbook is provably stale
            // only while no office runs on its profile: now, not once the new one does.
            if (!options_.workbook.empty()) RemoveStaleLock(MakeFileUrl(options_.workbook.c_str()));
            if (Error started = Start(options_.launch); !started.ok()) return started;
            restarted_ = true;
        }
        foreign_.clear();
        const Error result = attempt();
        if (!foreign_.empty()) {
            // Our office died and another, on another profile, took the pipe: nothing goes
            // into it, and it is never ended. Ours would get the pipe only once that one
            // ends, so it moves to a pipe of its own.
            std::string moved;
            if (pipe_.empty()) {
                Stop();
                pipe_ = "corvane-live-" + std::to_string(::getpid()) + "-" +
                        std::to_string(reinterpret_cast<std::uintptr_t>(this) % 1000000);
                moved = "; the table's office starts anew on the pipe \"" + pipe_ + "\"";
            }
            return {ErrorCode::Connect, "an office this table did not start (profile " + foreign_ +
                                            ") accepts on the pipe \"" + kOfficePipe +
                                            "\"; it is left alone" + moved};
        }
        if (result.ok()) {
            accepted_ = true;
            const pid_t group = Pid();
            const pid_t office = platform::GroupMemberNamed(group, "soffice.bin");
            officePid_ = office != 0 ? office : group;
        }
        if (result != ErrorCode::Connect || cancelled_) return result;
        // An office that accepted once and stops answering on the pipe is waited for when
        // it is on a display; one that never accepted is started anew.
        if ((!accepted_ || !options_.launch.visible) &&
            Clock::now() - startedAt_ > options_.startLimit) {
            Stop();  // the next attempt starts it anew
            return {ErrorCode::Connect, "the started office did not accept within " +
                                            std::to_string(options_.startLimit.count()) + " ms"};
        }
        if (!Pause(kOwnPoll, interrupts)) return result;
    }
}

Error OfficeProvider::StartUnlessRunning(const OfficeLaunch& launch) {
    if (Pid() != 0) return {};
    return Start(launch);
}

Error OfficeProvider::MakeProfile(const OfficeLaunch& launch, std::string& folder) {
    if (!launch.profile.empty()) profile_ = launch.profile;
    if (profile_.empty()) {
        const char* prefix = options_.source == OfficeSource::Own ? kOwnPrefix : kSharedPrefix;
        if (!platform::MakeScratchDirectory(prefix, profile_).ok())
            return {ErrorCode::Office, "cannot make a profile folder for the office"};
        scratchProfile_ = true;
        // Those that hosts which died left behind, once no office runs on them.
        RemoveUnusedProfiles(std::filesystem::path(profile_).parent_path().string(), prefix,
                             kScratchAge);
    }
    folder = std::filesystem::absolute(profile_).string();
    if (!SeedProfile(folder))
        return {ErrorCode::Office,
                "cannot write the office's settings into the profile \"" + folder + "\""};
    return {};
}

Error OfficeProvider::Start(const OfficeLaunch& launch) {
    const std::string program = launch.program.empty() ? BuiltOfficeProgram() : launch.program;
    const platform::Lock lock(mu_);
    std::string line = launch.commandLine;
    if (line.empty()) {
        std::string folder;
        if (Error made = MakeProfile(launch, folder); !made.ok()) return made;
        line = ProfileOfficeCommandLine(program, folder, launch.visible,
                                        pipe_.empty() ? std::string(kOfficePipe) : pipe_);
    }
    pid_t pid = 0;
    if (options_.source == OfficeSource::Own) {
        // Tied to this process: the office ends with it, however it ends.
        platform::Lifeline lifeline;
        pid = platform::StartTiedProcess(program.c_str(), line.c_str(), lifeline);
        if (pid > 0) lifeline_ = std::move(lifeline);
    } else {
        pid = platform::StartDetachedProcess(program.c_str(), line.c_str());
    }
    if (pid <= 0) return {ErrorCode::Office, "cannot start the office \"" + program + "\""};
    started_.push_back(pid);
    // An owned office's own process is known once it accepted.
    officePid_ = options_.source == OfficeSource::Own ? 0 : pid;
    accepted_ = false;
    startedAt_ = Clock::now();
    return {};
}

void OfficeProvider::Recover(const Error& cause) {
    if (options_.source == OfficeSource::Own && cause == ErrorCode::Timeout &&
        !options_.launch.visible)
        Stop();
}

void OfficeProvider::Stop() noexcept {
    const platform::Lock lock(mu_);
    // The whole process group of each: the office's launcher and the office itself.
    for (const pid_t group : started_) platform::KillProcessGroup(group, kKillWaitMs);
    lifeline_.Cut();
    started_.clear();
    officePid_ = 0;
}

bool OfficeProvider::WaitEnded(std::chrono::milliseconds grace) {
    const Clock::time_point until = DeadlineAfter(grace);
    while (Pid() != 0 && Clock::now() < until) std::this_thread::sleep_for(kPauseSlice);
    return Pid() == 0;
}

bool OfficeProvider::AwaitEnd(std::chrono::milliseconds grace) {
    const bool ended = WaitEnded(grace);
    const platform::Lock lock(mu_);
    started_.clear();
    officePid_ = 0;
    return ended;
}

bool OfficeProvider::Release(std::chrono::milliseconds grace) {
    const bool ended = WaitEnded(grace);
    Stop();
    RemoveScratchProfile();
    return ended;
}

bool OfficeProvider::End(std::chrono::milliseconds grace) {
    {
        const platform::Lock lock(mu_);
        for (const pid_t group : started_) platform::AskProcessGroupToEnd(group);
    }
    return Release(grace);
}

void OfficeProvider::KillNow() noexcept {
    Stop();
    RemoveScratchProfile();
}

void OfficeProvider::Keep() {
    const platform::Lock lock(mu_);
    lifeline_.Release();
    started_.clear();
    officePid_ = 0;
    scratchProfile_ = false;
}

Error OfficeProvider::Admit(const css::uno::Reference<css::uno::XComponentContext>& office) {
    if (options_.source != OfficeSource::Own) return {};
    const std::string profile = OfficeProfileUrl(office);
    const std::string own = Profile();
    if (own.empty() || !SameFolderUrl(profile, MakeFileUrl(own.c_str()))) {
        foreign_ = profile.empty() ? "unknown" : profile;
        return {ErrorCode::Connect, "an office this table did not start answers"};
    }
    return {};
}

bool OfficeProvider::MayHaveStarted(
    const css::uno::Reference<css::uno::XComponentContext>& office) {
    const std::string own = Profile();
    if (own.empty()) return true;
    return SameFolderUrl(OfficeProfileUrl(office), MakeFileUrl(own.c_str()));
}

bool OfficeProvider::Pause(std::chrono::milliseconds pause, std::uint64_t interrupts) const {
    const Clock::time_point until = DeadlineAfter(pause);
    for (;;) {
        if (cancelled_ || interrupts_ != interrupts) return false;
        const Clock::time_point now = Clock::now();
        if (now >= until) return true;
        std::this_thread::sleep_for(std::min<Clock::duration>(kPauseSlice, until - now));
    }
}

void OfficeProvider::RemoveScratchProfile() noexcept {
    const platform::Lock lock(mu_);
    if (!scratchProfile_) return;
    scratchProfile_ = false;
    std::error_code ignored;
    std::filesystem::remove_all(profile_, ignored);
    profile_ = options_.launch.profile;
}

}  // namespace corvane::office
