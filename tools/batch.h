// batch.h: pqtool's work on several inputs: the outputs named from the
// inputs' stems in one folder, one job per input on a fixed pool of worker
// threads, results handed back in input order, and the progress line a
// terminal shows meanwhile. No state between calls.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// What one job did: lines for standard output, lines for standard error
// (its failure, one line naming its file, or warnings), and whether it worked.
struct JobResult {
    bool ok = false;
    std::string out;
    std::string err;
};

// The output of every input in `folder`: the input's name stem followed by
// `extension` (".pq", ".png", ...). Problem is not empty, and outputs is,
// when two outputs would be one file or an output would replace an input.
struct BatchNames {
    std::vector<std::string> outputs;
    std::string problem;
};
BatchNames batchOutputNames(const std::vector<std::string>& inputs, const std::string& folder,
                            std::string_view extension);

struct BatchTotals {
    size_t finished = 0;
    size_t failed = 0;
    double seconds = 0.0;
};

// Runs job(i) for every i below count on `workers` threads (at least one, at
// most count). On the calling thread, report(i, result) is called for the jobs
// in input order as soon as each and all before it have finished, and
// progress(totals) about five times a second while jobs run, when given. A job
// that throws has failed, with what it threw as its message.
BatchTotals runBatch(size_t count, size_t workers, const std::function<JobResult(size_t)>& job,
                     const std::function<void(size_t, const JobResult&)>& report,
                     const std::function<void(const BatchTotals&)>& progress = {});

// One line of at most `columns` characters: a bar, the jobs finished of total,
// those failed, files a second and the time left at that rate.
std::string progressLine(const BatchTotals& totals, size_t total, size_t columns);
