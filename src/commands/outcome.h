// What a command hands back to the driver, which alone decides how the run
// goes on and how it ends.
#pragma once

enum class Outcome {
    // Everything asked for happened.
    done,
    // The command printed why something asked for did not happen; the run
    // goes on, and ends with exit status 2.
    failed,
    // A raised error or no memory: the run ends here, the camera connection
    // is closed as at every end, exit status 1.
    stop_run,
    // "connect failed!": the run ends at once, nothing is closed, exit status 1.
    abandon_run,
};

inline Outcome outcome_of(bool done) { return done ? Outcome::done : Outcome::failed; }
