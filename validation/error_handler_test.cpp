#include "validation/error_handler.h"

#include <gtest/gtest.h>

#include "validation/validation_test_support.h"

namespace {

using DUVLib::Container;
using DUVLib::ErrorHandler;
using DUVLib::Tag;

class Handler : public duvtest::Validator {
protected:
    ErrorHandler& H() { return *ErrorHandler::Instance(); }
    // Owners only by address: the handler never looks inside them.
    Container* A = reinterpret_cast<Container*>(0x1000);
    Container* B = reinterpret_cast<Container*>(0x2000);
    Tag* T = reinterpret_cast<Tag*>(0x3000);
    Kiv::PString K{"key k"};
};

TEST_F(Handler, RepeatsAreDroppedPerOwnerAndPlainFindingsAgainstEveryRecord) {
    EXPECT_TRUE(H().Error(K, A));
    EXPECT_FALSE(H().Error(K, A));
    EXPECT_FALSE(H().Warning(K, A));  // same owner, same text, whatever the severity
    EXPECT_TRUE(H().Error(K, B));
    EXPECT_TRUE(H().Warning(K, T));  // a tag owner is another owner kind
    EXPECT_FALSE(H().Error(K));      // a plain finding meets every record
    EXPECT_TRUE(H().Message(Kiv::PString("other")));
    ASSERT_EQ(H().GetRecords().size(), 4u);
    EXPECT_EQ(H().GetRecords()[0].severity, 3u);
    EXPECT_EQ(H().GetRecords()[2].severity, 2u);
    EXPECT_EQ(H().GetRecords()[2].tag, T);
    EXPECT_EQ(H().GetRecords()[2].container, nullptr);
    EXPECT_FALSE(H().IsNewKey(K));
    EXPECT_FALSE(H().IsNewKey(Kiv::PString("other")));
    EXPECT_TRUE(H().IsNewKey(Kiv::PString("new")));

    H().Clear();
    EXPECT_TRUE(H().GetRecords().empty());
    EXPECT_TRUE(H().Error(K));
    EXPECT_TRUE(H().IsNewKey(Kiv::PString("other")));
}

TEST_F(Handler, ForgettingAnOwnerRemovesAllItsRecordsAndItsRepeats) {
    H().Error(K, A);
    H().Warning(Kiv::PString("second"), A);
    H().Error(K, B);
    H().Error(K, T);
    H().ForgetContainer(A);
    ASSERT_EQ(H().GetRecords().size(), 2u);
    EXPECT_EQ(H().GetRecords()[0].container, B);
    // A new object at A's address starts clean.
    EXPECT_TRUE(H().Error(K, A));
    H().ForgetTag(T);
    EXPECT_EQ(H().GetRecords().size(), 2u);
    EXPECT_TRUE(H().Error(K, T));
    H().ForgetContainer(nullptr);
    EXPECT_EQ(H().GetRecords().size(), 3u);
}

TEST_F(Handler, SetRecordsReplacesTheRecordsAndTheirRepeats) {
    H().Error(K, A);
    H().SetRecords({DUVLib::ErrorRecord{B, nullptr, Kiv::PString("x"), 2}});
    ASSERT_EQ(H().GetRecords().size(), 1u);
    EXPECT_TRUE(H().Error(K, A));
    EXPECT_FALSE(H().Error(Kiv::PString("x"), B));
}

TEST_F(Handler, PrintingPutsTheLocalisedPrefixBeforeTheText) {
    testing::internal::CaptureStdout();
    H().Error(K, A);  // print flag off: recorded, not printed
    H().SetPrint(true);
    H().Error(Kiv::PString("e"));
    H().Warning(Kiv::PString("w"), T);
    H().Message(Kiv::PString("m"), B);
    H().Error(Kiv::PString("e"));  // a dropped repeat prints nothing
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error: e\nWarning: w\nNote: m\n");
    EXPECT_EQ(H().GetRecords().size(), 4u);
}

TEST_F(Handler, NoticesRecordNothing) {
    EXPECT_TRUE(H().ExportNotice(K, A));
    EXPECT_TRUE(H().TypeSpecificationNotice(K, T));
    EXPECT_TRUE(H().GetRecords().empty());
    EXPECT_TRUE(H().IsNewKey(K));
}

TEST(HandlerLifetime, StartupAndShutdownMakeAndEndTheSingleton) {
    EXPECT_EQ(ErrorHandler::Instance(), nullptr);
    ErrorHandler::Startup();
    ASSERT_NE(ErrorHandler::Instance(), nullptr);
    ErrorHandler::Instance()->Error(Kiv::PString("k"));
    ErrorHandler::Shutdown();
    EXPECT_EQ(ErrorHandler::Instance(), nullptr);
    ErrorHandler::Shutdown();
}

}  // namespace
