#pragma once

// Exit codes of marlo-peer, for scripts. The first failure decides the code.
namespace PeerExit {
enum Code {
    Ok = 0,             // every step done, no error answer
    Failure = 1,        // an unexpected internal failure
    Usage = 2,          // bad command line or unreadable script / configuration
    KeyFile = 3,        // the key file is missing, unreadable or empty
    NoServer = 4,       // the STARS server could not be reached
    LoginRefused = 5,   // the server refused the node name or key
    TimedOut = 6,       // no answer (or awaited event) within the time-out
    ErrorAnswer = 7,    // an answer began with "Er:" or held " Er:"
    DataLink = 8,       // data link: no address, no connection, lost, no data, malformed after the retries
    Files = 9,          // the CSV or PNG files could not be written
    Lost = 10,          // the STARS connection was lost
};
}
