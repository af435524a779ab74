#include "core/worker.h"

#include <gtest/gtest.h>

#include "core/engine_settings.h"
#include "core/notify.h"
#include "support/test_environment.h"

using namespace corvane;
using harbeat::test::Report;
using harbeat::test::ReportRecorder;

TEST(Worker, ReportsArriveInOrderFromTheWorkerThread) {
    ReportRecorder::clear();
    storeStatusCallback(ReportRecorder::callback());
    const std::string request = "three songs";  // captured by value: the caller's text may go away
    const intptr_t handle = startWorker([request] {
        notifyGui(kNotifyStatus, "Searching...");
        for (int i = 1; i <= 200; ++i) notifyGui(kNotifySong, request + " " + std::to_string(i));
        notifyGui(kNotifySearchDone, "DONE");
    });
    EXPECT_NE(handle, 0);
    EXPECT_NE(handle, -1);
    ASSERT_TRUE(ReportRecorder::waitFor({kNotifySearchDone}));
    const std::vector<Report> reports = ReportRecorder::reports();
    storeStatusCallback(nullptr);
    ASSERT_EQ(reports.size(), 202u);
    EXPECT_EQ(reports.front(), (Report{kNotifyStatus, "Searching..."}));
    for (int i = 1; i <= 200; ++i) EXPECT_EQ(reports[i].text, "three songs " + std::to_string(i));
    EXPECT_EQ(reports.back(), (Report{kNotifySearchDone, "DONE"}));
}

TEST(Worker, AnExceptionInTheBodyDoesNotEndTheProgram) {
    ReportRecorder::clear();
    storeStatusCallback(ReportRecorder::callback());
    startWorker([] {
        notifyGui(kNotifyStatus, "before");
        throw std::runtime_error("boom");
    });
    ASSERT_TRUE(ReportRecorder::waitFor({kNotifyStatus}));
    ReportRecorder::waitQuiet();
    storeStatusCallback(nullptr);
    EXPECT_EQ(ReportRecorder::reports().size(), 1u);
}
