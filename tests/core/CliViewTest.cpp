#include <gtest/gtest.h>

#include "cli/Cli.h"

using namespace qj;

// A two-language window's lines: the CLI prints one memo, English unless asked.
TEST(CliView, PrintsOneMemoOfATwoLanguageWindow) {
    for (Lang lang : {Lang::En, Lang::Ru}) {
        cli::CliView view;
        view.lang = lang;
        testing::internal::CaptureStdout();
        view.log2("Отправляем настройки.", "Send the settings.");
        view.logLang(Lang::Ru, "только по-русски");
        view.log("a one-language window's line");
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(out, lang == Lang::En ? "Send the settings.\na one-language window's line\n"
                                        : "Отправляем настройки.\nтолько по-русски\na one-language window's line\n");
    }
}
