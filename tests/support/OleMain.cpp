// main for the tests whose thread is an OLE apartment, as the shell's is:
// the clipboard and shell objects are used as Explorer uses them.
#include <gtest/gtest.h>

#include <ole2.h>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    OleInitialize(nullptr);
    const int result = RUN_ALL_TESTS();
    OleUninitialize();
    return result;
}
