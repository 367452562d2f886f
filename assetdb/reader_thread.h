// The daemon link's reader thread: the thread that reads what the daemon sends, except a reply
// that its only waiting requester reads itself while the reader is idle. It waits for the
// receive gate before each record (open while the link is up), reads each reply whole and hands
// it to the request waiting for it, and carries out or queues each notification. When the
// link fails or is torn down it marks the link down and fails the requests that were sent on it. It
// never takes the send lock.
#pragma once

// The thread body, started by the link after each successful hello.
void WEXClientReaderThread();

// Installs the reader, the request's wait for its reply and the discarding of queued
// notifications into the daemon link, the link's requests and posts behind the request seam
// of the request wrappers, and the content-service cache's handler for its update
// notifications. Start-up calls it before the database opens (requests made before the open
// fail as the link is not open).
void WEXInstallClientLink();
