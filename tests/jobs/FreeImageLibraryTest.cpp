#include <gtest/gtest.h>

#include "jobs/FreeImageLibrary.h"

TEST(FreeImageLibraryTest, LoadsTheSystemsLibraryAndNamesWhatIsMissingElsewhere) {
    std::string error;
    EXPECT_NE(LoadFreeImage(&error), nullptr) << error;
    EXPECT_FALSE(OpenFreeImage("libquorvel-no-such-library.so.1", error));
    EXPECT_NE(error.find("libquorvel-no-such-library.so.1"), std::string::npos) << error;
    EXPECT_FALSE(OpenFreeImage("libz.so.1", error));
    EXPECT_NE(error.find("libz.so.1 lacks FreeImage_AcquireMemory"), std::string::npos) << error;
}
