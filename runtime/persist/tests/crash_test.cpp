// A writer killed at a random moment loses nothing it reported as committed and leaves a file
// that opens.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <nlohmann/json.hpp>
#include <random>
#include <string>

#include "vexa/ui/persist.h"

namespace vexa::persist {
namespace {

namespace fs = std::filesystem;

// Each transaction n appends n to "log", sets "last" to n and replaces the "bulk" subtree, so
// a torn transaction shows up as a mismatch between the three.
[[noreturn]] void run_writer(const fs::path& path, int out) {
  auto opened = open_file(path);
  if (!opened) _exit(2);
  Document& doc = **opened;
  NodeId log = doc.ensure_list(kRoot, "log");
  int n = static_cast<int>(doc.elements(log).size());
  const std::string filler(300, 'x');
  for (;;) {
    ++n;
    doc.list_push_string(log, std::to_string(n));
    doc.put_string(kRoot, "last", std::to_string(n));
    NodeId bulk = doc.put_map(kRoot, "bulk");
    for (int i = 0; i < 20; ++i)
      doc.put_string(bulk, std::to_string(i), filler + std::to_string(n));
    if (!doc.commit()) _exit(3);
    if (write(out, &n, sizeof n) != sizeof n) _exit(4);
  }
}

TEST(DocumentCrash, KilledWriterKeepsEveryReportedCommit) {
  std::string tmpl = (fs::temp_directory_path() / "vexa-crash-XXXXXX").string();
  ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
  const fs::path dir = tmpl;
  const fs::path path = dir / "document.sqlite3";
  std::mt19937 rng(std::random_device{}());

  int reported = 0;
  for (int round = 0; round < 5; ++round) {
    SCOPED_TRACE(round);
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      close(fds[0]);
      run_writer(path, fds[1]);
    }
    close(fds[1]);

    int wanted = std::uniform_int_distribution<int>(1, 40)(rng);
    int n = 0;
    for (int seen = 0; seen < wanted && read(fds[0], &n, sizeof n) == sizeof n; ++seen) {
      reported = n;
    }
    usleep(std::uniform_int_distribution<useconds_t>(0, 3000)(rng));
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "writer exited with " << WEXITSTATUS(status);
    while (read(fds[0], &n, sizeof n) == sizeof n) reported = n;
    close(fds[0]);

    auto doc = open_file(path);
    ASSERT_TRUE(doc) << doc.error();
    nlohmann::json tree = (*doc)->to_json();
    int last = std::stoi(tree["last"].get<std::string>());
    // The writer may have committed one more transaction than it managed to report.
    EXPECT_GE(last, reported);
    EXPECT_LE(last, reported + 1);
    const auto& log = tree["log"];
    ASSERT_EQ(static_cast<int>(log.size()), last);
    for (int i = 0; i < last; ++i) ASSERT_EQ(log[i], std::to_string(i + 1));
    ASSERT_EQ(tree["bulk"].size(), 20u);
    for (const auto& [key, value] : tree["bulk"].items()) {
      ASSERT_EQ(value.get<std::string>(), std::string(300, 'x') + std::to_string(last));
    }
  }
  EXPECT_GT(reported, 0);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace vexa::persist
