#pragma once
// A test that injects file errors: the errno a call failed with, a step made to fail, and no
// hook left behind for the next test.

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "document/file_io.h"

namespace quillet::testing {

class FileFaultTest : public ::testing::Test {
protected:
    void TearDown() override { doc::setFaultHook(nullptr); }
    // The errno of the FileError the call raised; 0 when it raised none.
    template <class F> int errnoOf(F&& call) {
        try {
            call();
        } catch (const doc::FileError& e) {
            return e.errnum();
        }
        return 0;
    }
    // Every call of this step fails with ENOSPC.
    void failAt(doc::FileError::Step step) {
        doc::setFaultHook(
            [step](doc::FileError::Step s, const std::string&) { return s == step ? ENOSPC : 0; });
    }
};

} // namespace quillet::testing
