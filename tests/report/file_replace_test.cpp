// Writing the results file in a folder that others can write to, such as /tmp:
// links planted at the target and at every name the writer or the start-up
// probe could be guessed to use, and links swapped in for the temporary while
// it is being written, never lead to their targets being opened.
#include <gtest/gtest.h>

#include <sys/inotify.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <iostream>
#include <filesystem>
#include <map>
#include <set>
#include <thread>

#include "app/results_file.h"
#include "common/child_process.h"
#include "platform/files.h"

namespace vyr::testing {
namespace {

namespace fs = std::filesystem;

// Files of the test's own, each with a text of its own, and links to them.
class PlantedLinks {
public:
    explicit PlantedLinks(const TempDir& folder) : victims(folder / "victims") { fs::create_directory(victims); }
    void plant(const std::string& at) {
        std::string victim = victims + "/" + std::to_string(texts.size());
        std::string text = "victim " + std::to_string(texts.size()) + " of " + at + "\n";
        writeWholeFile(victim, text);
        texts[victim] = text;
        fs::create_symlink(victim, at);
        links.insert(at);
    }
    // Every victim as it was, every link still a link to it (unless replaced).
    void expectUntouched(const std::string& except = "") const {
        for (const auto& [victim, text] : texts) EXPECT_EQ(readWholeFile(victim), text) << victim;
        for (const std::string& link : links) {
            if (link != except) {
                EXPECT_TRUE(fs::is_symlink(link)) << link;
            }
        }
    }
    std::string victims;
    std::map<std::string, std::string> texts;
    std::set<std::string> links;
};

std::set<std::string> namesIn(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename());
    return names;
}

struct Writer {
    const char* what;
    bool replacesTarget;  // the writer (true) or a probe that leaves the folder as it was
    std::function<bool(const std::string& path, std::string& why)> run;
};

const Writer writers[] = {
    {"writeResultsFile", true,
     [](const std::string& path, std::string&) {
         test::StartupOptions options;
         test::RunEnd end{test::EndReason::Fatal, 1, "planted links"};
         return test::writeResultsFile(path.c_str(), options, nullptr, end, 0.0);
     }},
    {"resultsFileWritable", false,
     [](const std::string& path, std::string& why) { return test::resultsFileWritable(path.c_str(), why); }},
    {"writeFileWhole", true,
     [](const std::string& path, std::string& why) { return platform::writeFileWhole(path.c_str(), "whole\n", why); }},
};

// Links at the target and at the names a writer might pick if it were
// predictable: the old "<file>.<pid>.tmp", "<file>.tmp", "<file>~", and
// "<file>.<pid>.tmp" for the process ids around this one.
TEST(PlantedLinks, AreNeverFollowed) {
    for (const Writer& writer : writers) {
        SCOPED_TRACE(writer.what);
        TempDir folder;
        std::string target = folder / "r.json";
        PlantedLinks planted(folder);
        planted.plant(target);
        planted.plant(target + ".tmp");
        planted.plant(target + "~");
        for (int pid = int(getpid()) - 3; pid <= int(getpid()) + 3; ++pid)
            planted.plant(target + "." + std::to_string(pid) + ".tmp");
        std::set<std::string> before = namesIn(folder.path());
        std::string why;
        ASSERT_TRUE(writer.run(target, why)) << why;
        planted.expectUntouched(writer.replacesTarget ? target : "");
        EXPECT_EQ(namesIn(folder.path()), before) << "a temporary was left behind";
        if (writer.replacesTarget) {
            EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(target))) << "the link at the target was not replaced";
            EXPECT_FALSE(readWholeFile(target).empty());
        }
    }
}

// An attacker who watches the folder and swaps a link in for each new file the
// moment it appears: the writer goes on with the file it created, so the
// victim stays as it was, whatever the attacker's timing. How often the
// attacker wins its race depends on the machine; the runs go on until it has
// won a few times or a few seconds have passed.
TEST(PlantedLinks, SwappedInForTheTemporaryAreNeverWrittenThrough) {
    for (const Writer& writer : writers) {
        SCOPED_TRACE(writer.what);
        TempDir folder;
        std::string target = folder / "r.json";
        PlantedLinks planted(folder);
        int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        ASSERT_GE(watch, 0);
        ASSERT_GE(inotify_add_watch(watch, folder.path().c_str(), IN_CREATE), 0);
        std::atomic<bool> done{false};
        std::atomic<int> swapped{0};
        std::string victim = planted.victims + "/swapped";
        writeWholeFile(victim, "the attacker's victim\n");
        std::thread attacker([&] {
            alignas(inotify_event) char buffer[4096];
            while (!done) {
                ssize_t length = read(watch, buffer, sizeof buffer);
                for (ssize_t at = 0; at < length;) {
                    auto* event = reinterpret_cast<inotify_event*>(buffer + at);
                    std::string name = folder / event->name;
                    if (event->len && name != target && unlink(name.c_str()) == 0 && symlink(victim.c_str(), name.c_str()) == 0)
                        ++swapped;
                    at += ssize_t(sizeof(inotify_event) + event->len);
                }
            }
        });
        std::string why;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        while (swapped < 20 && std::chrono::steady_clock::now() < deadline) writer.run(target, why);
        done = true;
        attacker.join();
        close(watch);
        EXPECT_EQ(readWholeFile(victim), "the attacker's victim\n") << "written through a link (" << swapped << " swaps)";
        std::cout << writer.what << ": " << swapped << " links swapped in\n";
    }
}

// The start-up probe's refusal of a missing folder is results_file_bad-values'.
TEST(PlantedLinks, AMissingFolderIsAFailureWithItsReason) {
    TempDir folder;
    std::string target = folder / "missing/r.json";
    std::string why;
    EXPECT_FALSE(platform::writeFileWhole(target.c_str(), "x", why));
    EXPECT_EQ(why, "No such file or directory");
    EXPECT_TRUE(namesIn(folder.path()).empty());
}

}  // namespace
}  // namespace vyr::testing
