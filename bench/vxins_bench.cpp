// Throughput benchmark of the plug-in against the agent simulator, run by scripts/bench.sh.
// It generates inventories of N adapters (two Ethernet and two CNA FC ports each), loads the
// plug-in once per process with dlopen as the host framework does, and times discovery and
// flash; it also times the trace log's floor (one open/append/close of the real log file per
// line the call wrote, same flags, same path, same line length) and measures peak resident
// memory, and the memory of reading a package whose first member is large. The simulator's own
// share is measured apart: the agent calls of one discovery and one flash, as its journal
// recorded them, are made again against the simulator alone. The same calls are also timed
// through the command-line host (vxins-host --quiet, its run history kept in memory), and the
// durable commit of such a run's history record to a database on disk is timed on its own.
//
// Each measurement that reports peak memory runs in a child process of its own (this program
// re-executed with a --child-* option), since a process's peak never goes down.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dlfcn.h>
#include <fcntl.h>
#include <memory>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include <json/json.h>

#include "history.h"
#include "package/package_reader.h"
#include "plugin_loader.h"
#include "trace_texts.h"
#include "vxins_log.h"
#include "vxins_trace.h"
#include "znaj_agent.h"

extern char** environ;

namespace {

using vxins::trace::kLogPath;
const char kPackageName[] = "qrvl_boot_3100.tar";
const char kPackageVersion[] = "3.1.0.0";
const char kFlashedVersion[] = "3.0.0.0";

struct Options {
  std::string self;
  std::string plugin = VXINS_BENCH_PLUGIN;
  std::string host = VXINS_BENCH_HOST;
  std::string sim_dir = VXINS_BENCH_SIM_DIR;
  std::string work;
  // The simulator's inventory, state and journal files; see choose_sim_files().
  std::string sim_files;
  std::vector<int> sizes{16, 64, 256};
  int reps = 5;
  bool journal = false;
  int package_mib = 200;
};

[[noreturn]] void die(const std::string& what) {
  fprintf(stderr, "vxins_bench: %s\n", what.c_str());
  exit(2);
}

double clock_ms(clockid_t clock) {
  struct timespec ts;
  clock_gettime(clock, &ts);
  return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// Wall time and this process's CPU time (user and system): on a machine that other programs
// keep busy the wall time waits for the processor, the CPU time does not.
struct Span {
  double wall = 0;
  double cpu = 0;
};

struct Stopwatch {
  double wall0 = clock_ms(CLOCK_MONOTONIC);
  double cpu0 = clock_ms(CLOCK_PROCESS_CPUTIME_ID);
  Span stop() const {
    Span s;
    s.wall = clock_ms(CLOCK_MONOTONIC) - wall0;
    s.cpu = clock_ms(CLOCK_PROCESS_CPUTIME_ID) - cpu0;
    return s;
  }
};

double median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

Span median(const std::vector<Span>& spans) {
  std::vector<double> wall, cpu;
  for (const Span& s : spans) {
    wall.push_back(s.wall);
    cpu.push_back(s.cpu);
  }
  Span m;
  m.wall = median(wall);
  m.cpu = median(cpu);
  return m;
}

long peak_rss_kib() {
  struct rusage ru;
  getrusage(RUSAGE_SELF, &ru);
  return ru.ru_maxrss;  // KiB on Linux
}

std::string read_all(const std::string& path) {
  std::string out;
  FILE* f = fopen(path.c_str(), "rb");
  if (f == nullptr) return out;
  char buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
  fclose(f);
  return out;
}

void write_all(const std::string& path, const std::string& text) {
  FILE* f = fopen(path.c_str(), "wb");
  if (f == nullptr) die("cannot write " + path + ": " + strerror(errno));
  bool ok = fwrite(text.data(), 1, text.size(), f) == text.size();
  if (fclose(f) != 0 || !ok) die("cannot write " + path);
}

size_t count_of(const std::string& text, const std::string& needle) {
  size_t n = 0;
  for (size_t p = text.find(needle); p != std::string::npos; p = text.find(needle, p + needle.size())) ++n;
  return n;
}

std::string shell_quote(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

void run_or_die(const std::string& cmd) {
  if (system(cmd.c_str()) != 0) die("command failed: " + cmd);
}

// What the trace log holds after one host call: the number of trace records (lines that open
// with a level prefix; a record may hold further lines of its own) and its size.
struct LogShape {
  size_t records = 0;
  size_t bytes = 0;
};

LogShape log_shape() {
  LogShape shape;
  std::string text = read_all(kLogPath);
  shape.bytes = text.size();
  size_t pos = 0;
  while (pos < text.size()) {
    // A line that opens with one of the log's level prefix rows begins a trace record.
    for (const char* prefix : gerr_log_str) {
      if (text.compare(pos, strlen(prefix), prefix) == 0) {
        ++shape.records;
        break;
      }
    }
    size_t nl = text.find('\n', pos);
    if (nl == std::string::npos) break;
    pos = nl + 1;
  }
  return shape;
}

// True when the trace log holds one host call's trace alone: it opens with the restart banner,
// holds no second banner, and `needle` appears exactly `times` times.
bool log_is_one_call(const std::string& needle, size_t times) {
  std::string text = read_all(kLogPath);
  const std::string banner = "LOG_INFO : ************************************\n";
  return text.compare(0, banner.size(), banner) == 0 &&
         count_of(text, "\tLog started on ") == 1 && count_of(text, needle) == times;
}

// The floor: what `records` lines of the same mean length cost when each is appended the way
// the log appends it (open with the log's flags, one writev of prefix, text and newline,
// close), into the same file, started afresh like the log restart does.
Span log_floor(const LogShape& shape) {
  if (shape.records == 0) return Span();
  const char prefix[] = "LOG_INFO : ";
  size_t line_len = shape.bytes / shape.records;
  size_t text_len = line_len > sizeof prefix ? line_len - (sizeof prefix - 1) - 1 : 1;
  std::string text(text_len, 'x');
  char newline = '\n';
  unlink(kLogPath);
  Stopwatch watch;
  for (size_t i = 0; i < shape.records; ++i) {
    int fd = open(kLogPath, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) die(std::string("cannot open ") + kLogPath + ": " + strerror(errno));
    struct iovec iov[3] = {{const_cast<char*>(prefix), sizeof prefix - 1},
                           {&text[0], text.size()},
                           {&newline, 1}};
    if (writev(fd, iov, 3) < 0) die(std::string("writev: ") + strerror(errno));
    close(fd);
  }
  return watch.stop();
}

// Adapter i of a generated inventory: a two-port CNA listed by its first MAC address, with two
// Ethernet functions and two FCoE functions, all keys unique across the inventory.
std::string adapter_json(int i) {
  int hi = (i >> 8) & 0xff, lo = i & 0xff;
  char buf[1400];
  snprintf(buf, sizeof buf,
           "{\"index\":\"00:0e:1e:%02x:%02x:40\",\"model\":\"Quorvel-QC8442\",\"portCount\":2,"
           "\"pcie\":{\"vendorID\":4215,\"deviceID\":32880,\"subSystemVendorID\":4215,"
           "\"subSystemID\":567},"
           "\"storageDriverVersion\":\"10.02.08.200-k fcoe\",\"networkDriverVersion\":\"1.10.2.4 nx\","
           "\"flashedBiosVersion\":\"%s\","
           "\"ethPorts\":[{\"mac\":\"00:0e:1e:%02x:%02x:40\",\"hardwarePath\":\"0000:%02x:00.0\"},"
           "{\"mac\":\"00:0e:1e:%02x:%02x:42\",\"hardwarePath\":\"0000:%02x:00.1\"}],"
           "\"fcPorts\":[{\"wwn\":\"21:00:00:0e:1e:%02x:%02x:41\",\"nodeWwn\":\"20:00:00:0e:1e:%02x:%02x:41\","
           "\"hardwarePath\":\"0000:%02x:00.2\",\"portMode\":\"CNA\"},"
           "{\"wwn\":\"21:00:00:0e:1e:%02x:%02x:43\",\"nodeWwn\":\"20:00:00:0e:1e:%02x:%02x:43\","
           "\"hardwarePath\":\"0000:%02x:00.3\",\"portMode\":\"CNA\"}],"
           "\"flash\":{\"result\":0}}",
           hi, lo, kFlashedVersion, hi, lo, lo, hi, lo, lo, hi, lo, hi, lo, lo, hi, lo, hi, lo, lo);
  return buf;
}

std::string inventory_json(int adapters) {
  std::string text = "{\"agentVersion\":\"7.4.2-sim\",\"init\":{\"result\":0},\"adapters\":[";
  for (int i = 0; i < adapters; ++i) {
    if (i > 0) text += ",\n";
    text += adapter_json(i);
  }
  return text + "],\"faults\":[]}\n";
}

// A firmware folder holding one real ustar package: first member `first_member` (a folder, or
// a file of first_mib MiB), second member fw/boot.txt with the version.
std::string make_fw_dir(const std::string& base, const std::string& name, int first_mib) {
  std::string staging = base + "/" + name + "-staging";
  std::string dir = base + "/" + name;
  run_or_die("rm -rf " + shell_quote(staging) + " " + shell_quote(dir) + " && mkdir -p " +
             shell_quote(staging + "/fw") + " " + shell_quote(dir));
  write_all(staging + "/fw/boot.txt", std::string("<version>") + kPackageVersion + "</version>\n");
  std::string members = "fw fw/boot.txt";
  if (first_mib > 0) {
    // A sparse source file: tar still stores every byte, so the package really is that big.
    run_or_die("truncate -s " + std::to_string(first_mib) + "M " + shell_quote(staging + "/image.bin"));
    members = "image.bin fw/boot.txt";
  }
  run_or_die("tar --format=ustar --no-recursion -C " + shell_quote(staging) + " -cf " +
             shell_quote(dir + "/" + kPackageName) + " " + members);
  run_or_die("rm -rf " + shell_quote(staging));
  return dir;
}

// The plug-in loaded once, as the host framework does; dies when it cannot be used.
struct Plugin : vxplugin::PluginLibrary {
  explicit Plugin(const std::string& path) {
    std::string error;
    if (!open(path, error)) die("dlopen: " + error);
    if (discover == nullptr || flash == nullptr) die("the plug-in lacks an entry point");
  }
};

void point_simulator(const std::string& dir, bool journal) {
  setenv("DZNAJ_SIM_INVENTORY", (dir + "/inventory.json").c_str(), 1);
  setenv("DZNAJ_SIM_STATE", (dir + "/state.json").c_str(), 1);
  if (journal)
    setenv("DZNAJ_SIM_JOURNAL", (dir + "/journal.jsonl").c_str(), 1);
  else
    unsetenv("DZNAJ_SIM_JOURNAL");
}

// The simulator's own share of a host call: the calls the plug-in made to the agent library,
// as the simulator's journal recorded them, made again against the simulator alone (loaded and
// unloaded around them, as the plug-in does), with the same state file behaviour.
class SimReplay {
 public:
  // Reads the journal of one host call.
  explicit SimReplay(const std::string& journal_path) {
    Json::CharReaderBuilder builder;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    std::string text = read_all(journal_path);
    size_t pos = 0;
    while (pos < text.size()) {
      size_t nl = text.find('\n', pos);
      if (nl == std::string::npos) nl = text.size();
      Json::Value entry;
      std::string errs;
      if (nl > pos && !reader->parse(text.data() + pos, text.data() + nl, &entry, &errs))
        die("unreadable journal line in " + journal_path + ": " + errs);
      if (nl > pos) calls_.push_back(entry);
      pos = nl + 1;
    }
    if (calls_.empty()) die("empty simulator journal " + journal_path);
  }

  size_t size() const { return calls_.size(); }

  // How many calls of `symbol` were made, and with how many different "wwn" values.
  void count(const std::string& symbol, size_t& calls, size_t& keys) const {
    std::vector<std::string> seen;
    calls = 0;
    for (const Json::Value& call : calls_) {
      if (call["symbol"].asString() != symbol) continue;
      ++calls;
      seen.push_back(call["wwn"].asString());
    }
    std::sort(seen.begin(), seen.end());
    keys = static_cast<size_t>(std::unique(seen.begin(), seen.end()) - seen.begin());
  }

  Span run(const std::string& state_path) const {
    unlink(state_path.c_str());
    Stopwatch watch;
    void* lib = dlopen("libdznaj.so", RTLD_NOW | RTLD_LOCAL);
    if (lib == nullptr) die(std::string("dlopen simulator: ") + dlerror());
    for (const Json::Value& call : calls_) {
      const std::string symbol = call["symbol"].asString();
      void* fn = dlsym(lib, symbol.c_str());
      if (fn == nullptr) die("simulator lacks " + symbol);
      if (symbol == "get_agt_version") {
        reinterpret_cast<get_agt_version_fp>(fn)();
      } else if (symbol == "getNumberOfAdapters") {
        reinterpret_cast<getNumberOfAdapters_fp>(fn)();
      } else if (symbol == "getRequestID" || symbol == "free_hba_lib") {
        reinterpret_cast<voidRetIntFP>(fn)();
      } else if (symbol == "hba_flashUpgrade") {
        std::string wwn = call["wwn"].asString(), file = call["file"].asString();
        std::vector<char> err(call["len"].asUInt() + 1, '\0');
        if (reinterpret_cast<hba_flashUpgrade_fp>(fn)(&wwn[0], &file[0], call["size"].asUInt(),
                                                      call["flag"].asInt(), err.data(),
                                                      call["len"].asUInt()) != 0)
          die("replayed flash failed: " + std::string(err.data()));
      } else {
        reinterpret_cast<JsonReqFP>(fn)(call["request"]);
      }
    }
    dlclose(lib);
    return watch.stop();
  }

 private:
  std::vector<Json::Value> calls_;
};

// One run of the command-line host, as an operator or the Ansible collection runs it: quiet,
// its run history in `history`. Its exit status.
int run_host(const Options& o, const std::string& command, const std::string& disc,
             const std::string& fw_dir, const std::string& history) {
  std::vector<std::string> args = {o.host, "--quiet", "--plugin", o.plugin, "--history-db",
                                   history, command, disc, fw_dir};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(&a[0]);
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  int rc = posix_spawn(&pid, o.host.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) die("cannot run " + o.host + ": " + strerror(rc));
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) die(std::string("waitpid: ") + strerror(errno));
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The durable commit of one run's history record (its trace, the discovery file before and
// after), as vxins-host makes it at the end of a run, into a fresh database in `folder`: the
// bodies compressed and hashed ahead, as vxins-host does while the call and its report run.
Span history_commit(const std::string& folder, const std::string& trace,
                    const std::string& file) {
  const std::string db = folder + "/history.db";
  unlink(db.c_str());
  vxhost::History history;
  std::string error;
  if (!history.open(db, error)) die("history: " + error);
  vxhost::RunRecord run;
  run.command = "flash";
  run.command_line = "vxins-host --quiet flash";
  run.called = true;
  run.have_file_before = run.have_file_after = true;
  run.file_before = run.file_after = file;
  if (!vxhost::prepare_body(file, run.prepared_file_before, error) ||
      !vxhost::prepare_body(file, run.prepared_file_after, error) ||
      !vxhost::prepare_body(trace, run.prepared_trace, error))
    die("history: " + error);
  Stopwatch watch;
  if (!history.record(run, error)) die("history: " + error);
  return watch.stop();
}

// Where the simulator keeps its files. It rewrites its state file after every flash and
// renames it over the old one; on ext4 such a rename pushes the new file to the disk and waits
// (several ms per adapter, more than the plug-in's whole flash pass). That is the simulator's
// cost, not the plug-in's, so its files go to memory (/dev/shm) when the machine has it;
// --sim-files DIR puts them elsewhere, and the replay table shows the simulator's share.
std::string choose_sim_files(const Options& o) {
  if (!o.sim_files.empty()) return o.sim_files;
  struct stat st;
  if (stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode) && access("/dev/shm", W_OK) == 0)
    return "/dev/shm";
  return o.work;
}

// One inventory size, in this process: warm-up, then `reps` timed discovery+flash rounds.
// Prints one RESULT line for the parent.
int child_size(const Options& o, int adapters) {
  std::string dir = o.work + "/n" + std::to_string(adapters);
  std::string sdir = o.sim_files + "/n" + std::to_string(adapters);
  run_or_die("rm -rf " + shell_quote(dir) + " " + shell_quote(sdir) + " && mkdir -p " +
             shell_quote(dir) + " " + shell_quote(sdir));
  write_all(sdir + "/inventory.json", inventory_json(adapters));
  std::string fw_dir = make_fw_dir(dir, "fw", 0);
  std::string disc = dir + "/discovery.xml";
  point_simulator(sdir, o.journal);
  Plugin plugin(o.plugin);
  const size_t functions = static_cast<size_t>(adapters) * 4;
  // The lines that show one discovery's and one flash's trace whole: its device count, and the
  // update pass's line for each adapter flashed.
  char device_count_line[64];
  snprintf(device_count_line, sizeof device_count_line, vxins::trace::kDeviceCount,
           static_cast<int>(functions));
  const std::string flashed_line = vxhost::format_piece(vxins::trace::kFlashSucceeded, 0);

  // A round's trace is the same every time. Rounds are run until `reps` of them (after one
  // that warms the caches up) agree on the number of lines, so that a round whose log another
  // program restarted or wrote into meanwhile is left out, time and lines alike.
  struct Round {
    LogShape disc_log, flash_log;
    Span disc, flash;
  };
  const std::vector<Round>* agreed = nullptr;
  std::vector<std::vector<Round>> groups;
  const int max_rounds = 6 * (o.reps + 1);
  for (int round = 0; agreed == nullptr; ++round) {
    if (round > max_rounds) die("the trace log keeps changing under the benchmark");
    unlink((sdir + "/state.json").c_str());
    unlink((sdir + "/journal.jsonl").c_str());
    Round r;
    Stopwatch disc_watch;
    int rc = plugin.discover(&disc[0], &fw_dir[0]);
    r.disc = disc_watch.stop();
    if (rc != 0) die("discovery returned " + std::to_string(rc));
    r.disc_log = log_shape();
    bool log_intact = log_is_one_call(device_count_line, 1);
    std::string xml = read_all(disc);
    if (count_of(xml, "<device>") != functions)
      die("discovery file lists " + std::to_string(count_of(xml, "<device>")) + " devices, not " +
          std::to_string(functions));

    Stopwatch flash_watch;
    rc = plugin.flash(&disc[0], &fw_dir[0]);
    r.flash = flash_watch.stop();
    if (rc != 1) die("flash returned " + std::to_string(rc));
    r.flash_log = log_shape();
    // Every adapter flashed: the simulator recorded each one's new version and the rewritten
    // file carries success throughout (exactly once: checked on the journal below).
    std::string state = read_all(sdir + "/state.json");
    size_t recorded = count_of(state, std::string("\"") + kPackageVersion + "\"");
    size_t ok_status = count_of(read_all(disc), "<action_status value=\"1\"/>");
    if (recorded != static_cast<size_t>(adapters) || ok_status != functions)
      die("flash did not flash every adapter: " + std::to_string(recorded) +
          " new versions recorded, " + std::to_string(ok_status) + " devices with success");
    log_intact = log_intact && log_is_one_call(flashed_line, adapters);
    if (!log_intact)
      fprintf(stderr, "vxins_bench: %s restarted by another process; round repeated\n", kLogPath);
    if (round == 0 || !log_intact) continue;
    bool placed = false;
    for (std::vector<Round>& g : groups) {
      if (g[0].disc_log.records == r.disc_log.records &&
          g[0].flash_log.records == r.flash_log.records) {
        g.push_back(r);
        placed = true;
        if (static_cast<int>(g.size()) >= o.reps) agreed = &g;
        break;
      }
    }
    if (!placed) {
      if (!groups.empty())
        fprintf(stderr, "vxins_bench: %s written by another process; round repeated\n", kLogPath);
      groups.push_back(std::vector<Round>{r});
      if (o.reps == 1) agreed = &groups.back();
    }
  }
  std::vector<Span> disc_t, flash_t, disc_floor, flash_floor;
  const LogShape disc_log = (*agreed)[0].disc_log, flash_log = (*agreed)[0].flash_log;
  for (const Round& r : *agreed) {
    disc_t.push_back(r.disc);
    flash_t.push_back(r.flash);
    disc_floor.push_back(log_floor(r.disc_log));
    flash_floor.push_back(log_floor(r.flash_log));
  }
  // The floor's lines are no call's: left in the log, they would make vxins-host's discovery
  // below take its trace for one begun while another call was still writing.
  unlink(kLogPath);

  // The same calls through vxins-host, in the same run: its history database in memory beside
  // the simulator's files (the durable commit is timed apart below), its run lock and reboot
  // marker in the work folder. Each round times the plug-in alone again right before the host,
  // so that what the host adds is measured against calls the machine ran under the same load
  // (a virtual machine's speed drifts by more than the host adds). A round whose trace log
  // another program touched is repeated, as above.
  setenv("VXINS_LOCK_FILE", (dir + "/run.lock").c_str(), 1);
  setenv("VXINS_REBOOT_MARKER", (dir + "/reboot-pending").c_str(), 1);
  const std::string host_history = sdir + "/history.db";
  std::vector<Span> host_disc, host_flash, alone_disc, alone_flash;
  for (int round = 0; static_cast<int>(host_flash.size()) < o.reps; ++round) {
    if (round > max_rounds) die("the trace log keeps changing under the benchmark");
    unlink((sdir + "/state.json").c_str());
    Stopwatch alone_disc_watch;
    int alone_rc = plugin.discover(&disc[0], &fw_dir[0]);
    const Span alone_d = alone_disc_watch.stop();
    bool alone_intact = alone_rc == 0 && log_is_one_call(device_count_line, 1);
    Stopwatch alone_flash_watch;
    alone_rc = plugin.flash(&disc[0], &fw_dir[0]);
    const Span alone_f = alone_flash_watch.stop();
    alone_intact = alone_intact && alone_rc == 1 && log_is_one_call(flashed_line, adapters);
    unlink(kLogPath);
    unlink((sdir + "/state.json").c_str());
    Stopwatch disc_watch;
    int rc = run_host(o, "discover", disc, fw_dir, host_history);
    const Span host_d = disc_watch.stop();
    if (rc != 0) die("vxins-host discover exited with " + std::to_string(rc));
    bool intact = log_is_one_call(device_count_line, 1);
    Stopwatch flash_watch;
    rc = run_host(o, "flash", disc, fw_dir, host_history);
    const Span host_f = flash_watch.stop();
    if (rc != 0) die("vxins-host flash exited with " + std::to_string(rc));
    intact = intact && log_is_one_call(flashed_line, adapters);
    if (round == 0 || !intact || !alone_intact) continue;  // the first warms the caches up
    host_disc.push_back(host_d);
    host_flash.push_back(host_f);
    alone_disc.push_back(alone_d);
    alone_flash.push_back(alone_f);
  }
  unsetenv("VXINS_LOCK_FILE");
  unsetenv("VXINS_REBOOT_MARKER");
  std::vector<Span> commits;
  const std::string flash_trace = read_all(kLogPath), flash_file = read_all(disc);
  for (int round = 0; round < o.reps; ++round)
    commits.push_back(history_commit(dir, flash_trace, flash_file));

  // One more round with the simulator's journal on, then the simulator alone on its calls.
  point_simulator(sdir, true);
  unlink((sdir + "/state.json").c_str());
  unlink((sdir + "/journal.jsonl").c_str());
  if (plugin.discover(&disc[0], &fw_dir[0]) != 0) die("journaled discovery failed");
  rename((sdir + "/journal.jsonl").c_str(), (sdir + "/discovery.jsonl").c_str());
  if (plugin.flash(&disc[0], &fw_dir[0]) != 1) die("journaled flash failed");
  rename((sdir + "/journal.jsonl").c_str(), (sdir + "/flash.jsonl").c_str());
  point_simulator(sdir, false);
  SimReplay disc_calls(sdir + "/discovery.jsonl"), flash_calls(sdir + "/flash.jsonl");
  size_t flashes = 0, flashed_adapters = 0;
  flash_calls.count("hba_flashUpgrade", flashes, flashed_adapters);
  if (flashes != static_cast<size_t>(adapters) || flashed_adapters != flashes)
    die("the simulator saw " + std::to_string(flashes) + " flashes of " +
        std::to_string(flashed_adapters) + " adapters, not one of each of " +
        std::to_string(adapters));
  std::vector<Span> disc_sim, flash_sim;
  for (int round = 0; round < o.reps; ++round) {
    disc_sim.push_back(disc_calls.run(sdir + "/state.json"));
    flash_sim.push_back(flash_calls.run(sdir + "/state.json"));
  }

  Span d = median(disc_t), df = median(disc_floor), f = median(flash_t), ff = median(flash_floor);
  Span ds = median(disc_sim), fs = median(flash_sim);
  Span hd = median(host_disc), hf = median(host_flash), hc = median(commits);
  Span ad = median(alone_disc), af = median(alone_flash);
  // What the host adds, round by round: each round's host call against the plug-in alone in the
  // same round, the median of those ratios.
  std::vector<double> disc_added, flash_added;
  for (size_t i = 0; i < host_disc.size(); ++i) {
    disc_added.push_back(host_disc[i].wall / alone_disc[i].wall - 1);
    flash_added.push_back(host_flash[i].wall / alone_flash[i].wall - 1);
  }
  printf("RESULT %d %zu %zu %zu %ld %.3f %.3f %.3f %.3f %.3f %.3f %.3f %.3f %.3f %.3f %.3f %.3f "
         "%zu %zu %.3f %.3f %.3f %.3f %.3f %.4f %.4f\n",
         adapters, functions, disc_log.records, flash_log.records, peak_rss_kib(), d.wall, d.cpu,
         df.wall, df.cpu, f.wall, f.cpu, ff.wall, ff.cpu, ds.wall, ds.cpu, fs.wall, fs.cpu,
         disc_calls.size(), flash_calls.size(), ad.wall, af.wall, hd.wall, hf.wall, hc.wall,
         median(disc_added), median(flash_added));
  return 0;
}

// Reads the version of one package with the plug-in's own reader; prints the peak memory of
// this process before and after.
int child_package(const std::string& package) {
  long before = peak_rss_kib();
  std::string version;
  int rc = vxins::package::read_package_version(package, version);
  if (rc != 0 || version != kPackageVersion)
    die("package reader returned " + std::to_string(rc) + ", version \"" + version + "\"");
  printf("PACKAGE %ld %ld\n", before, peak_rss_kib());
  return 0;
}

// A whole discovery with the given firmware folder; prints the peak memory of this process.
int child_discovery(const Options& o, const std::string& fw_dir) {
  std::string dir = o.work + "/pkgrss";
  std::string sdir = o.sim_files + "/pkgrss";
  run_or_die("mkdir -p " + shell_quote(dir) + " " + shell_quote(sdir));
  write_all(sdir + "/inventory.json", inventory_json(16));
  point_simulator(sdir, false);
  std::string disc = dir + "/discovery.xml";
  Plugin plugin(o.plugin);
  std::string fw = fw_dir;
  int rc = plugin.discover(&disc[0], &fw[0]);
  if (rc != 0) die("discovery returned " + std::to_string(rc));
  printf("DISCOVERY %ld\n", peak_rss_kib());
  return 0;
}

// Runs this program with the given arguments and returns the line of its output that starts
// with `tag`.
std::string run_child(const Options& o, const std::vector<std::string>& args, const char* tag) {
  std::string cmd = shell_quote(o.self);
  for (const std::string& a : args) cmd += " " + shell_quote(a);
  FILE* p = popen(cmd.c_str(), "r");
  if (p == nullptr) die("cannot run " + cmd);
  std::string found;
  char line[512];
  while (fgets(line, sizeof line, p) != nullptr)
    if (strncmp(line, tag, strlen(tag)) == 0) found = line;
  int status = pclose(p);
  if (status != 0 || found.empty()) die("child failed: " + cmd);
  return found;
}

std::vector<std::string> common_args(const Options& o) {
  std::vector<std::string> a = {"--plugin", o.plugin,    "--host",      o.host,
                                "--work",   o.work,      "--sim-files", o.sim_files,
                                "--reps",   std::to_string(o.reps)};
  if (o.journal) a.push_back("--journal");
  return a;
}

struct Row {
  int adapters;
  size_t functions;
  size_t disc_lines, flash_lines;
  long rss_kib;
  Span disc, disc_floor, flash, flash_floor, disc_sim, flash_sim;
  size_t disc_agent_calls, flash_agent_calls;
  // The plug-in alone timed in the same rounds as vxins-host, and vxins-host; the median of
  // what the host added in each round (0.2 = 20%).
  double alone_disc_ms, alone_flash_ms, host_disc_ms, host_flash_ms, history_commit_ms;
  double disc_added, flash_added;
};

double ratio(double a, double b) { return b > 0 ? a / b : 0; }

int parent(const Options& o) {
  // The plug-in finds the simulator by its plain name: the loader reads the search path at
  // start-up, so the children get it from here.
  std::string ld = o.sim_dir;
  const char* old = getenv("LD_LIBRARY_PATH");
  if (old != nullptr && *old != '\0') ld += std::string(":") + old;
  setenv("LD_LIBRARY_PATH", ld.c_str(), 1);

  printf("libqrvlvxins benchmark: %d timed repetitions per size (medians), simulator journal %s\n",
         o.reps, o.journal ? "ON" : "off");
  printf("floor = one open(O_WRONLY|O_APPEND|O_CREAT)/writev/close of %s per trace line\n",
         kLogPath);
  printf("discovery file and package in %s; simulator inventory, state and journal in %s\n\n",
         o.work.c_str(), o.sim_files.c_str());
  printf("%8s %9s | %9s %7s %9s %5s | %9s %7s %9s %5s | %8s %8s | %9s\n", "adapters", "functions",
         "disc ms", "lines", "floor ms", "ratio", "flash ms", "lines", "floor ms", "ratio",
         "disc/fn", "flash/fn", "peak RSS");
  std::vector<Row> rows;
  for (int n : o.sizes) {
    std::vector<std::string> args = common_args(o);
    args.insert(args.end(), {"--child-size", std::to_string(n)});
    std::string line = run_child(o, args, "RESULT");
    Row r;
    if (sscanf(line.c_str(),
               "RESULT %d %zu %zu %zu %ld %lf %lf %lf %lf %lf %lf %lf %lf %lf %lf %lf %lf %zu %zu "
               "%lf %lf %lf %lf %lf %lf %lf",
               &r.adapters, &r.functions, &r.disc_lines, &r.flash_lines, &r.rss_kib, &r.disc.wall,
               &r.disc.cpu, &r.disc_floor.wall, &r.disc_floor.cpu, &r.flash.wall, &r.flash.cpu,
               &r.flash_floor.wall, &r.flash_floor.cpu, &r.disc_sim.wall, &r.disc_sim.cpu,
               &r.flash_sim.wall, &r.flash_sim.cpu, &r.disc_agent_calls, &r.flash_agent_calls,
               &r.alone_disc_ms, &r.alone_flash_ms, &r.host_disc_ms, &r.host_flash_ms,
               &r.history_commit_ms, &r.disc_added, &r.flash_added) != 26)
      die("unreadable child result: " + line);
    rows.push_back(r);
    printf("%8d %9zu | %9.1f %7zu %9.1f %5.2f | %9.1f %7zu %9.1f %5.2f | %6.0fus %6.0fus | %6ld KiB\n",
           r.adapters, r.functions, r.disc.wall, r.disc_lines, r.disc_floor.wall,
           ratio(r.disc.wall, r.disc_floor.wall), r.flash.wall, r.flash_lines, r.flash_floor.wall,
           ratio(r.flash.wall, r.flash_floor.wall), 1e3 * r.disc.wall / r.functions,
           1e3 * r.flash.wall / r.functions, r.rss_kib);
    fflush(stdout);
  }

  // The same calls in CPU time, which other programs on the machine do not inflate.
  printf("\nCPU time (user + system) of the same calls, medians:\n");
  printf("%8s | %9s %9s %5s | %9s %9s %5s | %8s %8s\n", "adapters", "disc ms", "floor ms",
         "ratio", "flash ms", "floor ms", "ratio", "disc/fn", "flash/fn");
  for (const Row& r : rows)
    printf("%8d | %9.1f %9.1f %5.2f | %9.1f %9.1f %5.2f | %6.0fus %6.0fus\n", r.adapters,
           r.disc.cpu, r.disc_floor.cpu, ratio(r.disc.cpu, r.disc_floor.cpu), r.flash.cpu,
           r.flash_floor.cpu, ratio(r.flash.cpu, r.flash_floor.cpu),
           1e3 * r.disc.cpu / r.functions, 1e3 * r.flash.cpu / r.functions);

  // What the simulator itself costs, and the ratios without it.
  printf("\nSimulator alone on the calls the plug-in made (journal replayed), medians; "
         "\"net\" = call minus simulator:\n");
  printf("%8s | %6s %8s %5s %9s | %6s %8s %5s %9s\n", "adapters", "calls", "disc sim",
         "share", "net/floor", "calls", "flsh sim", "share", "net/floor");
  for (const Row& r : rows)
    printf("%8d | %6zu %6.1fms %4.0f%% %9.2f | %6zu %6.1fms %4.0f%% %9.2f\n", r.adapters,
           r.disc_agent_calls, r.disc_sim.wall, 100 * ratio(r.disc_sim.wall, r.disc.wall),
           ratio(r.disc.wall - r.disc_sim.wall, r.disc_floor.wall), r.flash_agent_calls,
           r.flash_sim.wall, 100 * ratio(r.flash_sim.wall, r.flash.wall),
           ratio(r.flash.wall - r.flash_sim.wall, r.flash_floor.wall));

  // The plug-in's calls alone against the same calls through vxins-host, measured in the same
  // rounds; the durable commit of the host's history apart.
  printf("\nThrough vxins-host --quiet (its history in memory), medians; \"+\" = what the host "
         "adds to the plug-in alone timed in the same round, the median over the rounds:\n");
  printf("%8s | %9s %9s %6s | %9s %9s %6s | %16s\n", "adapters", "disc ms", "host ms", "+",
         "flash ms", "host ms", "+", "history commit");
  for (const Row& r : rows)
    printf("%8d | %9.1f %9.1f %5.0f%% | %9.1f %9.1f %5.0f%% | %13.1f ms\n", r.adapters,
           r.alone_disc_ms, r.host_disc_ms, 100 * r.disc_added, r.alone_flash_ms,
           r.host_flash_ms, 100 * r.flash_added,
           r.history_commit_ms);
  printf("(history commit: one flash run's record, its trace and discovery files included, "
         "written to a fresh database in %s and synced)\n", o.work.c_str());

  // Memory against package size: the reader alone, and a whole discovery.
  printf("\n%-44s %14s %14s\n", "package (first member)", "reader peak", "discovery peak");
  std::vector<long> reader_peaks, disc_peaks;
  for (int mib : {0, o.package_mib}) {
    std::string name = "pkg" + std::to_string(mib);
    std::string fw_dir = make_fw_dir(o.work, name, mib);
    std::string pkg = fw_dir + "/" + kPackageName;
    struct stat st;
    if (stat(pkg.c_str(), &st) != 0) die("no package " + pkg);
    long before = 0, after = 0;
    std::string line = run_child(o, {"--child-package", pkg}, "PACKAGE");
    if (sscanf(line.c_str(), "PACKAGE %ld %ld", &before, &after) != 2) die("unreadable: " + line);
    std::vector<std::string> args = common_args(o);
    args.insert(args.end(), {"--child-discovery", fw_dir});
    long disc_peak = 0;
    line = run_child(o, args, "DISCOVERY");
    if (sscanf(line.c_str(), "DISCOVERY %ld", &disc_peak) != 1) die("unreadable: " + line);
    char label[64];
    snprintf(label, sizeof label, "%s, %.1f MiB package",
             mib == 0 ? "folder" : (std::to_string(mib) + " MiB file").c_str(),
             st.st_size / 1048576.0);
    printf("%-44s %10ld KiB %10ld KiB\n", label, after, disc_peak);
    reader_peaks.push_back(after);
    disc_peaks.push_back(disc_peak);
    run_or_die("rm -rf " + shell_quote(fw_dir));
  }

  // The targets.
  printf("\n");
  bool all_ok = true;
  auto check = [&](bool ok, const std::string& what) {
    printf("[%s] %s\n", ok ? "ok" : "MISSED", what.c_str());
    all_ok = all_ok && ok;
  };
  const Row& small = rows.front();
  const Row& large = rows.back();
  char buf[256];
  snprintf(buf, sizeof buf, "at %d adapters discovery within 1.5x the log floor (%.2f; CPU %.2f)",
           large.adapters, ratio(large.disc.wall, large.disc_floor.wall),
           ratio(large.disc.cpu, large.disc_floor.cpu));
  check(large.disc.wall <= 1.5 * large.disc_floor.wall, buf);
  snprintf(buf, sizeof buf, "at %d adapters flash within 1.5x the log floor (%.2f; CPU %.2f)",
           large.adapters, ratio(large.flash.wall, large.flash_floor.wall),
           ratio(large.flash.cpu, large.flash_floor.cpu));
  check(large.flash.wall <= 1.5 * large.flash_floor.wall, buf);
  double per_small = (small.disc.wall + small.flash.wall) / small.functions;
  double per_large = (large.disc.wall + large.flash.wall) / large.functions;
  double cpu_small = (small.disc.cpu + small.flash.cpu) / small.functions;
  double cpu_large = (large.disc.cpu + large.flash.cpu) / large.functions;
  snprintf(buf, sizeof buf,
           "time per function at %d adapters within 1.25x that at %d (%.2f; CPU %.2f)",
           large.adapters, small.adapters, per_large / per_small, cpu_large / cpu_small);
  check(per_large <= 1.25 * per_small, buf);
  snprintf(buf, sizeof buf,
           "at %d adapters vxins-host adds at most 25%% to discovery (%+.0f%%) and flash (%+.0f%%)",
           large.adapters, 100 * large.disc_added, 100 * large.flash_added);
  check(large.disc_added <= 0.25 && large.flash_added <= 0.25,
        buf);
  snprintf(buf, sizeof buf, "package reader peak below 10 MiB with a %d MiB first member (%ld KiB)",
           o.package_mib, reader_peaks.back());
  check(reader_peaks.back() < 10 * 1024, buf);
  snprintf(buf, sizeof buf, "discovery peak independent of the package size (%+ld KiB)",
           disc_peaks.back() - disc_peaks.front());
  check(disc_peaks.back() - disc_peaks.front() < 1024, buf);
  return all_ok ? 0 : 1;
}

std::vector<int> parse_sizes(const std::string& text) {
  std::vector<int> sizes;
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t comma = text.find(',', pos);
    std::string item = text.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
    int n = atoi(item.c_str());
    if (n <= 0 || n > 65536) die("bad size \"" + item + "\"");
    sizes.push_back(n);
    if (comma == std::string::npos) break;
    pos = comma + 1;
  }
  return sizes;
}

void usage() {
  fprintf(stderr,
          "usage: vxins_bench [--sizes 16,64,256] [--reps N] [--journal] [--package-mib M]\n"
          "                   [--plugin PATH] [--host PATH] [--sim-dir DIR] [--work DIR]\n"
          "Writes /var/log/libqrvlvxins.log (run as a user who may). Exit status 0 when every\n"
          "target is met, 1 when one is missed, 2 on an error.\n");
  exit(2);
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  char self[4096];
  ssize_t len = readlink("/proc/self/exe", self, sizeof self - 1);
  if (len <= 0) die("cannot find my own executable");
  self[len] = '\0';
  o.self = self;
  std::string child_mode, child_arg;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) usage();
      return argv[++i];
    };
    if (a == "--sizes") o.sizes = parse_sizes(value());
    else if (a == "--reps") o.reps = std::max(1, atoi(value().c_str()));
    else if (a == "--journal") o.journal = true;
    else if (a == "--package-mib") o.package_mib = std::max(1, atoi(value().c_str()));
    else if (a == "--plugin") o.plugin = value();
    else if (a == "--host") o.host = value();
    else if (a == "--sim-dir") o.sim_dir = value();
    else if (a == "--work") o.work = value();
    else if (a == "--sim-files") o.sim_files = value();
    else if (a == "--child-size" || a == "--child-package" || a == "--child-discovery") {
      child_mode = a;
      child_arg = value();
    } else usage();
  }
  if (child_mode == "--child-package") return child_package(child_arg);
  if (o.work.empty()) {
    char tmpl[] = "/tmp/vxins-bench-XXXXXX";
    if (mkdtemp(tmpl) == nullptr) die("mkdtemp failed");
    o.work = tmpl;
    std::string sim_tmpl = choose_sim_files(o) + "/vxins-bench-sim-XXXXXX";
    if (mkdtemp(&sim_tmpl[0]) == nullptr) die("mkdtemp failed in " + sim_tmpl);
    o.sim_files = sim_tmpl;
    int rc = parent(o);
    run_or_die("rm -rf " + shell_quote(o.work) + " " + shell_quote(o.sim_files));
    return rc;
  }
  if (o.sim_files.empty()) o.sim_files = o.work;
  if (child_mode == "--child-size") return child_size(o, atoi(child_arg.c_str()));
  if (child_mode == "--child-discovery") return child_discovery(o, child_arg);
  return parent(o);
}
