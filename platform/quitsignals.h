#pragma once

// Turns SIGTERM, SIGINT and SIGHUP into an ordinary quit of the event loop, so that a session
// logout or a kill from a terminal still runs the normal shutdown: transfers are saved and the
// single-instance segment is released instead of being left for the next start to recover.
// Call once, after the application object exists and before the single-instance segment is
// created (a signal in between would end the process and leave the segment behind). Does
// nothing where these signals don't exist.
void quitOnTerminationSignals();
