// Several inputs at once: output names and their collisions, the worker pool's order and totals, the progress line.
#include <gtest/gtest.h>

#include <latch>
#include <stdexcept>

#include "tools/batch.h"

TEST(BatchNames, StemsGoIntoTheFolderAndClashesAreRefused)
{
    const BatchNames names = batchOutputNames({"a/box.asc", "b/crate.PQ", "c.d/house"}, "out", ".pq");
    EXPECT_EQ(names.problem, "");
    EXPECT_EQ(names.outputs, (std::vector<std::string>{"out/box.pq", "out/crate.pq", "out/house.pq"}));

    const BatchNames clash = batchOutputNames({"a/box.asc", "c/x.pq", "b/box.pq"}, "out", ".pq");
    EXPECT_EQ(clash.problem, "a/box.asc and b/box.pq would both be written to out/box.pq");
    EXPECT_TRUE(clash.outputs.empty());
    EXPECT_NE(batchOutputNames({"out/../out/box.asc", "out/box.pq"}, "./out/", ".png").problem, "")
        << "one file however it is spelt";
    EXPECT_EQ(batchOutputNames({"a/box.pq", "b.pq"}, "a", ".pq").problem, "a/box.pq would replace the input a/box.pq");
    EXPECT_EQ(batchOutputNames({"b.pq", "a/box.pq"}, "a/.", ".pq").problem,
              "a/./box.pq would replace the input a/box.pq")
        << "an output may not replace a later input either";
    EXPECT_EQ(batchOutputNames({"box.pq"}, "out", ".glb").outputs, std::vector<std::string>{"out/box.glb"});
}

TEST(BatchRun, ReportsInInputOrderWhateverFinishesFirst)
{
    std::latch thirdDone(1);  // job 0 ends only after job 2: the pool must run them side by side
    std::vector<size_t> order;
    std::string said;
    const BatchTotals totals = runBatch(
        4, 3,
        [&](size_t i) -> JobResult {
            if (i == 0) thirdDone.wait();
            if (i == 2) thirdDone.count_down();
            if (i == 3) throw std::runtime_error("pqtool: 3 broke");
            return {i != 1, "out " + std::to_string(i), i == 1 ? "pqtool: 1 failed" : ""};
        },
        [&](size_t i, const JobResult& result) { order.push_back(i), said += result.out + result.err + "|"; });
    EXPECT_EQ(order, (std::vector<size_t>{0, 1, 2, 3}));
    EXPECT_EQ(said, "out 0|out 1pqtool: 1 failed|out 2|pqtool: 3 broke\n|");
    EXPECT_EQ(totals.finished, 4u);
    EXPECT_EQ(totals.failed, 2u);
    EXPECT_EQ(runBatch(0, 2, [](size_t) { return JobResult{}; }, [](size_t, const JobResult&) {}).finished, 0u);
}

TEST(BatchProgress, BarFiguresAndTimeLeft)
{
    const BatchTotals half{50, 2, 10.0};
    EXPECT_EQ(progressLine(half, 100, 70), "[###########...........] 50/100 done, 2 failed, 5.0 files/s, 10 s left");
    EXPECT_EQ(progressLine(half, 100, 40), " 50/100 done, 2 failed, 5.0 files/s, 10 ") << "no room for a bar";
    EXPECT_EQ(progressLine(half, 100, 58).substr(0, 12), "[#####.....]") << "ten columns: the narrowest bar";
    EXPECT_EQ(progressLine(half, 100, 57).front(), ' ');
    EXPECT_EQ(progressLine({0, 0, 0.0}, 8, 200).substr(0, 12), "[...........");
    EXPECT_NE(progressLine({0, 0, 0.0}, 8, 200).find("0.0 files/s, ? left"), std::string::npos);
}
