// The console table of the benchmarks, plus what a reader wants from it: the
// pass against the others at each size and the split of one run into stages.
#pragma once

#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

namespace tesmic::bench {

// Prints the table as the console reporter does (the median and the
// coefficient of variation of each benchmark's repetitions) and keeps the
// median of each, on the clock it is judged by, for the summaries below.
class CollectingReporter : public benchmark::ConsoleReporter {
 public:
  CollectingReporter();

  void ReportRuns(const std::vector<Run>& runs) override;

  // Median time per iteration in seconds, on the clock the benchmark is
  // judged by; a single run counts as its own median. Empty when the
  // benchmark did not run or failed.
  std::optional<double> seconds(const std::string& name) const;

  // Median CPU time per iteration in seconds: of the process when the
  // benchmark measures the process, else of its thread.
  std::optional<double> cpuSeconds(const std::string& name) const;

  // Median of a user counter of the benchmark.
  std::optional<double> counter(const std::string& name,
                                const std::string& counterName) const;

  // "name: message" for every benchmark that reported an error.
  const std::vector<std::string>& failures() const { return failures_; }

  bool empty() const { return summaries_.empty() && failures_.empty(); }

 private:
  struct Summary {
    double judged;
    double cpu;
    std::map<std::string, double> counters;
  };
  std::map<std::string, Summary> summaries_;
  std::vector<std::string> failures_;
};

// At each size: pass vs literal and pass vs inRange as speed-ups, pass over
// streaming bound as the fraction of memory speed reached; then whether the
// targets hold. Prints nothing when a filter left all of them out.
void printClassificationRatios(const CollectingReporter& results,
                               std::ostream& out);

// Each stage of one run, timed alone and within whole runs, with its share of
// the run; nothing when a filter left them out.
void printRunStages(const CollectingReporter& results, std::ostream& out);

}  // namespace tesmic::bench
