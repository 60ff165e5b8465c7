// String resources and message boxes: what the start-up and the error reports
// rely on.
#include "contract_test.h"

namespace contract {

class UiContract : public ContractTest {};

TEST_F(UiContract, StringsLoadWholeWithTheirBlanksAndAreCutToTheBuffer) {
    char buffer[256] = {};
    int n = os.LoadStringA(184, buffer, sizeof buffer);
    EXPECT_EQ(n, 24);
    EXPECT_STREQ(buffer, "Wardline Norvane Utility");
    n = os.LoadStringA(138, buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "The requested resource requires user authentication. ");
    EXPECT_EQ(n, static_cast<int>(std::string(buffer).size()));

    char small[6] = {'x', 'x', 'x', 'x', 'x', 'x'};
    EXPECT_EQ(os.LoadStringA(184, small, sizeof small), 5);
    EXPECT_STREQ(small, "Wardl");

    char none[8] = "keep";
    EXPECT_EQ(os.LoadStringA(9999, none, sizeof none), 0);
}

TEST_F(UiContract, MessageBoxShowsTextAndCaptionAndReturnsTheButton) {
    env->AnswerNextMessageBox(port::IDCANCEL);
    int answer = os.MessageBoxA(nullptr, "Contract text  with two blanks", "Contract caption",
                                port::MB_OKCANCEL | port::MB_ICONERROR);
    Environment::SeenBox seen = env->SeenMessageBox();
    EXPECT_EQ(answer, port::IDCANCEL);
    EXPECT_EQ(seen.caption, "Contract caption");
    EXPECT_EQ(seen.text, "Contract text  with two blanks");
}

TEST_F(UiContract, MessageBoxWithoutCaptionSaysError) {
    env->AnswerNextMessageBox(port::IDOK);
    EXPECT_EQ(os.MessageBoxA(nullptr, "No caption given", nullptr, port::MB_OK), port::IDOK);
    EXPECT_EQ(env->SeenMessageBox().caption, "Error");
}

} // namespace contract
