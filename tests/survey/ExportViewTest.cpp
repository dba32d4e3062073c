// "Export..." on the Survey page: the form chosen from its menu, the file from the dialog (a
// name without extension takes the form's), the export written beside the window, and the
// page's own files never exported over.

#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>

#include "logger/LoggerCsv.h"
#include "survey/CSurvey.h"
#include "tests/support/LogHeaders.h"
#include "tests/support/ScriptedPrompter.h"
#include "tests/support/TempDir.h"

namespace tessera::survey {
namespace {

TEST(SurveyView, ExportsWhatThePageShowsBesideTheWindow) {
    testing::TempDir dir;
    const std::string path = dir.File("night.CSV");
    auto h = tessera::testing::TeslaLogHeader(logger::StartTime{2024, 3, 1, 5, 23, 59, 0}, 3);
    std::vector<link::LogSample> samples;
    for (int i = 0; i < 600; ++i) samples.push_back({i, (1 + i % 7) * 1e-7, 0, 0, 0});
    ASSERT_TRUE(logger::WriteLogFile(path, h, samples.data(), 599));

    testing::ScriptedPrompter prompter;
    CSurvey page(prompter, std::make_unique<SurveyModel>(ProfileBook()));
    page.show();
    QSignalSpy read(&page, &CSurvey::FilesRead);
    page.OpenFiles({path});
    ASSERT_TRUE(read.wait(10000));

    const QList<QAction*> forms = page.ExportButton()->menu()->actions();
    ASSERT_EQ(forms.size(), 3);
    QSignalSpy exported(&page, &CSurvey::FilesExported);
    prompter.files.push_back(dir.File("night-open"));
    forms[0]->trigger();  // open CSV
    EXPECT_TRUE(page.Exporting()) << "the export runs beside the window";
    ASSERT_TRUE(exported.wait(10000));
    EXPECT_FALSE(page.Exporting());
    const std::string text = testing::ReadAll(dir.File("night-open.csv"));
    const auto head = text.find("time,x,y,z,R\n");
    ASSERT_NE(head, std::string::npos) << text.substr(0, 400);
    EXPECT_EQ(text.compare(head + 13, 28, "2024-03-01T23:59:00.000,0.1,"), 0) << text.substr(head, 80);
    EXPECT_EQ(std::count(text.begin() + static_cast<std::ptrdiff_t>(head), text.end(), '\n'), 601);
    EXPECT_NE(text.find("2024-03-02T00:08:59.000,"), std::string::npos) << "600 seconds on, past midnight";

    // The page's own file is never exported over.
    prompter.files.push_back(path);
    prompter.answers.push_back(page::Answer::Yes);
    forms[1]->trigger();
    ASSERT_FALSE(prompter.Messages().empty());
    EXPECT_NE(prompter.Messages().back().find("is one of the files exported"), std::string::npos);
    EXPECT_EQ(logger::FirstLine(path), std::string(logger::kLogBanner));
}

}  // namespace
}  // namespace tessera::survey
