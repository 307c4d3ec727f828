// Helpers of the ORB initialisation tests: a writable argument vector,
// captured diagnostics and expected exceptions.
#ifndef TESTS_ORB_TEST_SUPPORT_H
#define TESTS_ORB_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

// A writable argument vector for the initialisation functions, which remove
// the options they recognise.
class ArgVector {
public:
    int argc;

    ArgVector(std::initializer_list<std::string> args) : ArgVector(std::vector<std::string>(args)) {}
    explicit ArgVector(std::vector<std::string> args) : strings_(std::move(args)) {
        for (std::string& s : strings_)
            pointers_.push_back(&s[0]);
        pointers_.push_back(nullptr);
        argc = static_cast<int>(strings_.size());
    }
    ArgVector(const ArgVector&) = delete;
    ArgVector& operator=(const ArgVector&) = delete;

    char** argv() { return pointers_.data(); }

    // The arguments left in the vector, in order.
    std::vector<std::string> remaining() const {
        return std::vector<std::string>(pointers_.begin(), pointers_.begin() + argc);
    }

private:
    std::vector<std::string> strings_;
    std::vector<char*> pointers_;
};

// Runs f with standard error captured; returns what the message sink wrote.
template<class F> std::string captured(F f) {
    testing::internal::CaptureStderr();
    try {
        f();
    } catch (...) {
        testing::internal::GetCapturedStderr();
        throw;
    }
    return testing::internal::GetCapturedStderr();
}

// The exception of class E that f raises; a test failure when it raises none.
template<class E, class F> E raised(F f) {
    try {
        f();
    } catch (const E& e) {
        return e;
    }
    ADD_FAILURE() << "expected exception was not raised";
    return E("none");
}

#endif
