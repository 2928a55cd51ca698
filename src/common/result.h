// A value or the reason it could not be produced. Library code returns these;
// only front ends turn a reason into a message. Neither may be dropped
// unread: a failure that nobody looks at is a failure lost.
#pragma once

#include <string>
#include <utility>
#include <variant>

namespace kvz {

// cannotOpen: the file could not be opened or read at all (kvzpack reports
// it as "Cannot open <file>"); invalid: the input was read but is refused;
// notADeck: what was read is plainly no KVZ file (the front end may say what
// the user likely meant); tooLarge: a file longer than any its reader takes.
enum class FailureKind { invalid, cannotOpen, notADeck, tooLarge };

struct Failure {
    std::string reason;
    FailureKind kind = FailureKind::invalid;
};

inline Failure fail(std::string reason, FailureKind kind = FailureKind::invalid) {
    return Failure{std::move(reason), kind};
}

template <class T>
class [[nodiscard]] Result {
public:
    Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    Result(Failure failure) : state_(std::in_place_index<1>, std::move(failure)) {}

    bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }

    T& value() & { return std::get<0>(state_); }
    const T& value() const& { return std::get<0>(state_); }
    T&& value() && { return std::get<0>(std::move(state_)); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }

    const std::string& reason() const { return std::get<1>(state_).reason; }
    FailureKind failureKind() const { return std::get<1>(state_).kind; }
    Failure failure() const { return std::get<1>(state_); }

private:
    std::variant<T, Failure> state_;
};

// For operations that produce nothing but may fail.
struct Done {};
using Status = Result<Done>;
inline Status success() { return Done{}; }

// Stores the value `parsed` holds in `into`, or passes its failure on: an
// option's value read by its parser.
template <class T, class Target>
Status storeParsed(Result<T> parsed, Target& into) {
    if (!parsed) return parsed.failure();
    into = std::move(*parsed);
    return success();
}

}  // namespace kvz

// Forwards a failure: evaluates `result` (a Result or a Status, named or
// computed in place) and, when it failed, returns its Failure from the
// calling function, which must itself return a Result or a Status.
//     auto table = countChars(text);
//     KVZ_TRY(table);
//     KVZ_TRY(checkHeader(bytes));
// Where the caller adds to the reason, it writes the test out instead.
#define KVZ_TRY(result)                                                  \
    do {                                                                 \
        if (auto&& kvz_try_result_ = (result); !kvz_try_result_)         \
            return kvz_try_result_.failure();                            \
    } while (false)
