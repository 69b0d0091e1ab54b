// batch.cpp: several inputs at once for pqtool: output names, the worker
// pool and the progress line. The jobs themselves are pqtool's.
#include "tools/batch.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

namespace {

// One spelling for every path to the same place: absolute, without "." and
// "..", symbolic links of the existing part resolved.
std::string placeOf(const std::string& path)
{
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    if (error) return std::filesystem::path(path).lexically_normal().string();
    const std::filesystem::path resolved = std::filesystem::weakly_canonical(absolute, error);
    return error ? absolute.lexically_normal().string() : resolved.string();
}

}  // namespace

BatchNames batchOutputNames(const std::vector<std::string>& inputs, const std::string& folder,
                            std::string_view extension)
{
    BatchNames names;
    std::map<std::string, size_t> inputAt;
    for (size_t i = 0; i < inputs.size(); ++i) inputAt.emplace(placeOf(inputs[i]), i);
    std::map<std::string, size_t> outputAt;
    for (size_t i = 0; i < inputs.size(); ++i) {
        const std::string stem = std::filesystem::path(inputs[i]).stem().string();
        if (stem.empty()) {
            names.problem = inputs[i] + " names no file";
            break;
        }
        const std::string output = (std::filesystem::path(folder) / (stem + std::string(extension))).string();
        const std::string place = placeOf(output);
        if (const auto same = inputAt.find(place); same != inputAt.end()) {
            names.problem = output + " would replace the input " + inputs[same->second];
            break;
        }
        if (const auto [earlier, added] = outputAt.emplace(place, i); !added) {
            names.problem = inputs[earlier->second] + " and " + inputs[i] + " would both be written to " + output;
            break;
        }
        names.outputs.push_back(output);
    }
    if (!names.problem.empty()) names.outputs.clear();
    return names;
}

BatchTotals runBatch(size_t count, size_t workers, const std::function<JobResult(size_t)>& job,
                     const std::function<void(size_t, const JobResult&)>& report,
                     const std::function<void(const BatchTotals&)>& progress)
{
    using Clock = std::chrono::steady_clock;
    constexpr auto progressEvery = std::chrono::milliseconds(200);
    const Clock::time_point start = Clock::now();
    const auto secondsSinceStart = [start] { return std::chrono::duration<double>(Clock::now() - start).count(); };

    std::mutex lock;
    std::condition_variable finishedOne;
    std::vector<std::optional<JobResult>> results(count);
    BatchTotals totals;
    size_t next = 0;
    const auto work = [&] {
        for (;;) {
            size_t index = 0;
            {
                const std::lock_guard<std::mutex> hold(lock);
                if (next >= count) return;
                index = next++;
            }
            JobResult result;
            try {
                result = job(index);
            } catch (const std::exception& thrown) {
                result = {false, {}, std::string(thrown.what()) + "\n"};
            }
            {
                const std::lock_guard<std::mutex> hold(lock);
                ++totals.finished;
                if (!result.ok) ++totals.failed;
                results[index] = std::move(result);
            }
            finishedOne.notify_one();
        }
    };
    std::vector<std::jthread> pool;
    for (size_t w = 0; w < std::clamp<size_t>(workers, 1, std::max<size_t>(count, 1)); ++w) pool.emplace_back(work);

    Clock::time_point lastProgress = start;
    std::unique_lock<std::mutex> hold(lock);
    for (size_t reported = 0; reported < count;) {
        finishedOne.wait_for(hold, progressEvery, [&] { return results[reported].has_value(); });
        while (reported < count && results[reported]) {
            const JobResult result = std::move(*results[reported]);
            results[reported].reset();
            hold.unlock();
            report(reported, result);
            hold.lock();
            ++reported;
        }
        if (progress && Clock::now() - lastProgress >= progressEvery) {
            lastProgress = Clock::now();
            BatchTotals now = totals;
            now.seconds = secondsSinceStart();
            hold.unlock();
            progress(now);
            hold.lock();
        }
    }
    hold.unlock();
    pool.clear();
    totals.seconds = secondsSinceStart();
    return totals;
}

std::string progressLine(const BatchTotals& totals, size_t total, size_t columns)
{
    const double rate = totals.seconds > 0.0 ? static_cast<double>(totals.finished) / totals.seconds : 0.0;
    std::string left = "?";
    if (rate > 0.0) left = std::to_string(std::lround(static_cast<double>(total - totals.finished) / rate)) + " s";
    char figures[160];
    std::snprintf(figures, sizeof figures, " %zu/%zu done, %zu failed, %.1f files/s, %s left", totals.finished,
                  total, totals.failed, rate, left.c_str());
    const std::string text = figures;
    constexpr size_t minBar = 10;
    if (columns < text.size() + minBar + 2) return text.substr(0, std::min(columns, text.size()));
    const size_t bar = std::min<size_t>(columns - text.size() - 2, 40);
    const size_t filled = total == 0 ? bar : bar * totals.finished / total;
    // Appended piece by piece: GCC 12 at -O3 warns wrongly about "[" + std::string(...).
    std::string line(1, '[');
    line.append(filled, '#').append(bar - filled, '.').append(1, ']').append(text);
    return line;
}
