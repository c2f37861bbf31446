#include "ratio_report.h"

#include <cstdio>

#include "bench_catalogue.h"
#include "registration.h"

namespace tesmic::bench {
namespace {

// Whatever the output, plain text: the table ends up in logs and a README.
constexpr auto kConsoleOptions = benchmark::ConsoleReporter::OO_Tabular;

bool shownInTable(const benchmark::BenchmarkReporter::Run& run) {
  return run.run_type != benchmark::BenchmarkReporter::Run::RT_Aggregate ||
         run.aggregate_name == kSummaryStatistic ||
         run.aggregate_name == "cv";
}

std::string format(const char* pattern, double value) {
  char text[32];
  std::snprintf(text, sizeof text, pattern, value);
  return text;
}

struct Target {
  cv::Size size;
  Classifier against;
  double least;  // lowest acceptable ratio
};

// The ratio the summaries print for the pass against another classifier:
// how many times faster the pass is, which for the streaming bound is the
// fraction of memory speed it reaches.
std::optional<double> passRatio(const CollectingReporter& results,
                                Classifier against, cv::Size size) {
  const auto pass = results.seconds(classificationName(Classifier::Pass, size));
  const auto other = results.seconds(classificationName(against, size));
  if (!pass || !other || *pass <= 0.0) return std::nullopt;
  return *other / *pass;
}

std::string ratioText(std::optional<double> ratio, const char* pattern) {
  return ratio ? format(pattern, *ratio) : std::string("n/a");
}

}  // namespace

CollectingReporter::CollectingReporter() : ConsoleReporter(kConsoleOptions) {}

void CollectingReporter::ReportRuns(const std::vector<Run>& runs) {
  std::vector<Run> shown;
  for (const Run& run : runs) {
    const std::string name = run.run_name.function_name;
    if (run.error_occurred) {
      failures_.push_back(name + ": " + run.error_message);
    } else if (run.run_type == Run::RT_Iteration ||
               run.aggregate_name == kSummaryStatistic) {
      // The statistic comes after the runs it sums up, so it wins. Each
      // benchmark is judged by the clock it was timed on.
      const double unit = benchmark::GetTimeUnitMultiplier(run.time_unit);
      const double real = run.GetAdjustedRealTime() / unit;
      const double cpu = run.GetAdjustedCPUTime() / unit;
      // "real_time", or "process_time/real_time" and the like.
      const bool wallClock = run.run_name.time_type.ends_with("real_time");
      Summary& summary = summaries_[name];
      summary = {wallClock ? real : cpu, cpu, {}};
      for (const auto& [counterName, c] : run.counters) {
        summary.counters[counterName] = c.value;
      }
    }
    if (shownInTable(run)) shown.push_back(run);
  }
  ConsoleReporter::ReportRuns(shown);
}

std::optional<double> CollectingReporter::seconds(
    const std::string& name) const {
  const auto found = summaries_.find(name);
  if (found == summaries_.end()) return std::nullopt;
  return found->second.judged;
}

std::optional<double> CollectingReporter::counter(
    const std::string& name, const std::string& counterName) const {
  const auto found = summaries_.find(name);
  if (found == summaries_.end()) return std::nullopt;
  const auto c = found->second.counters.find(counterName);
  if (c == found->second.counters.end()) return std::nullopt;
  return c->second;
}

std::optional<double> CollectingReporter::cpuSeconds(
    const std::string& name) const {
  const auto found = summaries_.find(name);
  if (found == summaries_.end()) return std::nullopt;
  return found->second.cpu;
}

void printClassificationRatios(const CollectingReporter& results,
                               std::ostream& out) {
  bool measured = false;
  for (const cv::Size size : kClassificationSizes) {
    measured = measured || passRatio(results, Classifier::Literal, size) ||
               passRatio(results, Classifier::InRange, size) ||
               passRatio(results, Classifier::StreamingBound, size);
  }
  if (!measured) return;
  out << "\nThe pass against the others (median CPU time). Against literal "
         "and inRange: how\nmany times faster the pass is. Against a "
         "streaming bound: the fraction of its\nspeed the pass reaches; "
         "'bound' stores as the pass does (the fair one), 'nt bound'\n"
         "stores past the caches.\n";
  char line[160];
  std::snprintf(line, sizeof line, "  %-10s %16s %16s %14s %17s\n", "size",
                "pass vs literal", "pass vs inRange", "pass / bound",
                "pass / nt bound");
  out << line;
  for (const cv::Size size : kClassificationSizes) {
    const auto ratio = [&](Classifier against, const char* pattern) {
      return ratioText(passRatio(results, against, size), pattern);
    };
    std::snprintf(line, sizeof line, "  %-10s %16s %16s %14s %17s\n",
                  sizeText(size).c_str(),
                  ratio(Classifier::Literal, "%.1fx").c_str(),
                  ratio(Classifier::InRange, "%.1fx").c_str(),
                  ratio(fairBound(size), "%.2f").c_str(),
                  ratio(Classifier::StreamingBoundNonTemporal, "%.2f").c_str());
    out << line;
  }

  // What the pass is held to.
  const Target targets[] = {
      {{3840, 2160}, Classifier::Literal, 12.0},
      {{3840, 2160}, Classifier::InRange, 6.0},
      {{8000, 8000}, fairBound({8000, 8000}), 0.85},
      {{640, 480}, fairBound({640, 480}), 0.70},
  };
  out << "Targets:\n";
  for (const Target& t : targets) {
    const auto ratio = passRatio(results, t.against, t.size);
    const bool bound = t.against == Classifier::StreamingBound ||
                       t.against == Classifier::StreamingBoundNonTemporal;
    const std::string what =
        bound ? "pass / streaming bound"
              : "pass vs " + std::string(classifierLabel(t.against));
    std::snprintf(line, sizeof line, "  %-10s %-24s >= %-5s %8s  %s\n",
                  sizeText(t.size).c_str(), what.c_str(),
                  format(bound ? "%.2f" : "%.0fx", t.least).c_str(),
                  ratioText(ratio, bound ? "%.2f" : "%.1fx").c_str(),
                  !ratio ? "not measured"
                         : *ratio >= t.least ? "holds" : "MISSED");
    out << line;
  }
}

void printRunStages(const CollectingReporter& results, std::ostream& out) {
  const std::string whole = wholeRunName();
  bool measured = results.seconds(whole).has_value();
  for (const Stage stage : kStages) {
    measured = measured || results.seconds(stageName(stage)).has_value();
  }
  if (!measured) return;

  out << "\nOne detection run on a " << sizeText(kRunSize)
      << " JPEG, stage by stage (medians, ms).\n"
         "  alone:    the stage repeated by itself; wall clock, and CPU time "
         "of all threads\n"
         "            (which a busy machine disturbs less)\n"
         "  in a run: wall clock of the stage within whole runs, and its "
         "share of the run\n";
  char line[160];
  std::snprintf(line, sizeof line, "  %-22s %12s %12s %12s %8s\n", "stage",
                "alone, wall", "alone, CPU", "in a run", "share");
  out << line;
  const auto ms = [](std::optional<double> seconds) {
    return seconds ? format("%.2f", *seconds * 1e3) : std::string("-");
  };
  const auto inRunMs = [&](Stage stage) {
    return results.counter(whole, inRunCounter(stage));
  };
  double runSum = 0.0;
  for (const Stage stage : kStages) runSum += inRunMs(stage).value_or(0.0);
  for (const Stage stage : kStages) {
    const auto inRun = inRunMs(stage);
    std::snprintf(line, sizeof line, "  %-22s %12s %12s %12s %8s\n",
                  std::string(stageLabel(stage)).c_str(),
                  ms(results.seconds(stageName(stage))).c_str(),
                  ms(results.cpuSeconds(stageName(stage))).c_str(),
                  inRun ? format("%.2f", *inRun).c_str() : "-",
                  inRun && runSum > 0.0
                      ? format("%.1f %%", 100.0 * *inRun / runSum).c_str()
                      : "");
    out << line;
  }
  std::snprintf(line, sizeof line, "  %-22s %12s %12s\n", "whole run",
                ms(results.seconds(whole)).c_str(),
                ms(results.cpuSeconds(whole)).c_str());
  out << line;
}

}  // namespace tesmic::bench
