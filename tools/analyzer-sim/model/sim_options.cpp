#include "tools/analyzer-sim/model/sim_options.h"

#include <charconv>
#include <functional>
#include <map>

namespace tav::sim {
namespace {

bool ToLong(const std::string& text, long min, long max, long* out) {
    long v = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size() || v < min || v > max) return false;
    *out = v;
    return true;
}

struct Option {
    bool takesValue;
    std::function<bool(const std::string& value, SimConfig* c, std::string* why)> apply;
};

// A numeric option stored into an int or long member.
template <typename T>
Option Number(T SimConfig::*member, long min, long max) {
    return {true, [=](const std::string& v, SimConfig* c, std::string* why) {
                long n;
                if (!ToLong(v, min, max, &n)) {
                    *why = "expects a number from " + std::to_string(min) + " to " +
                           std::to_string(max);
                    return false;
                }
                c->*member = static_cast<T>(n);
                return true;
            }};
}

template <typename T>
Option FaultNumber(T Faults::*member, long min, long max) {
    return {true, [=](const std::string& v, SimConfig* c, std::string* why) {
                long n;
                if (!ToLong(v, min, max, &n)) {
                    *why = "expects a number from " + std::to_string(min) + " to " +
                           std::to_string(max);
                    return false;
                }
                c->faults.*member = static_cast<T>(n);
                return true;
            }};
}

Option Flag(bool SimConfig::*member) {
    return {false, [=](const std::string&, SimConfig* c, std::string*) {
                c->*member = true;
                return true;
            }};
}

Option DateOption(Date GenerateOptions::*member) {
    return {true, [=](const std::string& v, SimConfig* c, std::string* why) {
                auto d = ParseDate(v);
                if (!d) {
                    *why = "expects a date YYYY-MM-DD between 2000 and 2099";
                    return false;
                }
                c->generate.*member = *d;
                return true;
            }};
}

Option GenerateNumber(int GenerateOptions::*member, long max) {
    return {true, [=](const std::string& v, SimConfig* c, std::string* why) {
                long n;
                if (!ToLong(v, 0, max, &n)) {
                    *why = "expects a number from 0 to " + std::to_string(max);
                    return false;
                }
                c->generate.*member = static_cast<int>(n);
                return true;
            }};
}

const std::map<std::string, Option>& Options() {
    static const std::map<std::string, Option> options = {
        {"--home",
         {true,
          [](const std::string& v, SimConfig* c, std::string*) {
              c->home = v;
              return true;
          }}},
        {"--com", Number(&SimConfig::com, 1, 100)},
        {"--count", GenerateNumber(&GenerateOptions::count, 9999)},
        {"--seed",
         {true,
          [](const std::string& v, SimConfig* c, std::string* why) {
              long n;
              if (!ToLong(v, 0, 4294967295L, &n)) {
                  *why = "expects a number from 0 to 4294967295";
                  return false;
              }
              c->generate.seed = static_cast<uint32_t>(n);
              return true;
          }}},
        {"--from", DateOption(&GenerateOptions::from)},
        {"--to", DateOption(&GenerateOptions::to)},
        {"--tilted", GenerateNumber(&GenerateOptions::tilted, 9999)},
        {"--flagged", GenerateNumber(&GenerateOptions::flagged, 9999)},
        {"--ids",
         {true,
          [](const std::string& v, SimConfig* c, std::string* why) {
              auto s = ParseIdStyle(v);
              if (!s) {
                  *why = "expects zeros, blanks, text or mixed";
                  return false;
              }
              c->generate.ids = *s;
              return true;
          }}},
        {"--load",
         {true,
          [](const std::string& v, SimConfig* c, std::string*) {
              c->loadFile = v;
              return true;
          }}},
        {"--empty", Flag(&SimConfig::empty)},
        {"--fast", Flag(&SimConfig::fast)},
        {"--answer-delay", Number(&SimConfig::answerDelayMs, 0, 600000)},
        {"--measure-after", Number(&SimConfig::measureAfterMs, 0, 86400000)},
        {"--no-answer",
         {false,
          [](const std::string&, SimConfig* c, std::string*) {
              c->faults.noAnswer = true;
              return true;
          }}},
        {"--stall-after", FaultNumber(&Faults::stallAfterBytes, 0, 100000000)},
        {"--drop-byte", FaultNumber(&Faults::dropByteAt, 0, 100000000)},
        {"--extra-bytes", FaultNumber(&Faults::extraBytes, 0, 100000)},
        {"--bad-terminator", FaultNumber(&Faults::badTerminatorRecord, 0, 9999)},
        {"--nul-in",
         {true,
          [](const std::string& v, SimConfig* c, std::string* why) {
              size_t colon = v.find(':');
              long k, off = c->faults.nulOffset;
              if (!ToLong(v.substr(0, colon), 0, 9999, &k) ||
                  (colon != std::string::npos && !ToLong(v.substr(colon + 1), 0, 42, &off))) {
                  *why = "expects K or K:OFFSET (record 0 to 9999, offset 0 to 42)";
                  return false;
              }
              c->faults.nulRecord = static_cast<int>(k);
              c->faults.nulOffset = static_cast<int>(off);
              return true;
          }}},
        {"--count-delta", FaultNumber(&Faults::countDelta, -9999, 9999)},
        {"--close-after", FaultNumber(&Faults::closeAfterBytes, 0, 100000000)},
        {"--fault-frames", FaultNumber(&Faults::faultFrames, 0, 1000000)},
        {"--print-path", Flag(&SimConfig::printPath)},
        {"--verbose", Flag(&SimConfig::verbose)},
        {"--help", Flag(&SimConfig::help)},
    };
    return options;
}

}  // namespace

bool ParseArgs(const std::vector<std::string>& args, SimConfig* config, std::string* error) {
    for (size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::string value;
        bool inlineValue = false;
        if (name == "-h") name = "--help";
        size_t eq = name.find('=');
        if (name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
            inlineValue = true;
        }
        auto it = Options().find(name);
        if (it == Options().end()) {
            *error = "unknown option " + args[i] + " (see --help)";
            return false;
        }
        const Option& opt = it->second;
        if (!opt.takesValue && inlineValue) {
            *error = name + " takes no value";
            return false;
        }
        if (opt.takesValue && !inlineValue) {
            if (i + 1 >= args.size()) {
                *error = name + " needs a value";
                return false;
            }
            value = args[++i];
        }
        std::string why;
        if (!opt.apply(value, config, &why)) {
            *error = name + " " + why + ", not \"" + value + "\"";
            return false;
        }
    }
    if (config->empty && !config->loadFile.empty()) {
        *error = "--empty and --load exclude each other";
        return false;
    }
    if (DayNumber(config->generate.to) < DayNumber(config->generate.from)) {
        *error = "--to is before --from";
        return false;
    }
    return true;
}

std::string UsageText() {
    return R"(Usage: analyzer-sim [options]

Plays the HbA1c analyzer on a pseudo-terminal. The terminal is registered as a
Prolific USB serial port in <home>/virtual_ports.txt while the simulator runs:
  <COM number> TAB <device path> TAB 1 TAB Prolific USB-to-Serial Comm Port (COMn)
  TAB <process id>
The line is removed again on exit (Ctrl-C, SIGTERM, SIGHUP); a leftover line
for the same COM number from a killed run is replaced. The program skips a
line whose device or process is gone.

At start one line goes to stdout once the port is registered:
  "COMn <slave path>", or with --print-path only "<slave path>".

Answers: S T ETX -> "SU"; S H -> "SH" NNNN CR LF + N records of 43 bytes;
H C ETX -> "HC"; S C ETX -> "SC" + record when a measurement is finished,
otherwise "SF"; S E ETX -> nothing. A finished measurement is announced with
"SF"; SIGUSR1 finishes one at once.

Port and home:
  --home DIR           home folder (default $TAVRINA1C_HOME, else ~/TAVRINA1c Expert)
  --com N              COM number to register, 1..100 (default 7)
  --print-path         print only the slave path as the start-up line
  --verbose            log every command and answer to stderr

Memory (generated unless --load or --empty):
  --count N            number of results, 0..9999 (default 20)
  --seed N             generator seed (default 1)
  --from DATE          first day, YYYY-MM-DD (default 2024-01-01)
  --to DATE            last day (default 2024-06-30)
  --tilted N           N results carry the tilted flag (0x80 on the first digit)
  --flagged N          N other results carry the 0x40 flag
  --ids STYLE          patient and operator ids: zeros, blanks, text or mixed
                       (default text)
  --load FILE          results from FILE, one per line, '#' comments:
                         raw: the first 41 record bytes (CR LF is added), or
                         text: DATE TIME VALUE [PID [OPID [FLAG]]], e.g.
                         2024-03-15 09:30 6.5 12345 OP7 tilted
                       (ids up to 14 characters, "-" blanks, "zeros" zeros;
                       FLAG plain, tilted or flagged)
  --empty              no results: the download frame announces 0000

Timing:
  --fast               no 9600-baud pacing (1.04 ms a byte otherwise)
  --answer-delay MS    think time before each answer (default 20)
  --measure-after MS   a greeting starts a measurement that finishes after MS
                       and is announced with "SF" (give the PC 3000 or more;
                       default: only on SIGUSR1)

Faults (hit the download and single-result frames; records count from 0):
  --no-answer          never send anything
  --stall-after N      send only the first N bytes of a frame
  --drop-byte N        leave out the frame byte at offset N
  --extra-bytes N      append N '*' bytes after a frame
  --bad-terminator K   record K ends with CR ETX instead of CR LF
  --nul-in K[:OFF]     record K carries a NUL byte at offset OFF (default 20)
  --count-delta D      the header count is the number of records plus D
  --close-after N      the line goes away after N frame bytes: the terminal is
                       closed, the port line removed and the simulator ends
  --fault-frames N     the faults hit only the first N frames (default all)

  --help               this text
)";
}

ModelOptions MakeModelOptions(const SimConfig& config, std::vector<std::string> records) {
    ModelOptions o;
    o.records = std::move(records);
    o.fast = config.fast;
    o.answerDelayMs = config.answerDelayMs;
    o.measurementDelayMs = config.measureAfterMs;
    o.faults = config.faults;
    return o;
}

}  // namespace tav::sim
