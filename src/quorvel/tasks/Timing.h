#pragma once

// The protocol's waits and periods, in one place. The shipped values are these; tests
// shorten them through setForTests() so that they need not wait out real time-outs.
struct Timing {
    // device information query
    int infoReplyWaitMs = 2000;
    // discovery manager
    int discoveryUpdatePeriodMs = 15000;
    int discoveryRequeryAgeMs = 12500;
    int discoveryDropAgeMs = 15000;
    // a hand-added range is asked address by address, no faster than this many queries a
    // second (a /22 in about 2 s), so that a display network is not flooded
    int rangeQueriesPerSecond = 500;
    // a device that answered once is asked again by unicast at every pass for this long
    // after its last answer (14 days), wherever this PC is now
    int rememberedDeviceMs = 14 * 24 * 3600 * 1000;
    // listeners retrying a port that is taken
    int listenerRebindMs = 10000;
    // listing and single-request commands
    int listingWaitMs = 5000;
    int commandWaitMs = 5000;
    // upload
    int uploadReplyWaitMs = 15000;
    int uploadTcpWaitMs = 15000;
    // download
    int downloadReplyWaitMs = 5000;
    int downloadTcpWaitMs = 5000;
    // a receive (download or offered file) that gets less than a few kilobytes in this
    // long is cut; and the whole receive ends within the first plus the second for each
    // MiB announced (at least about 100 KiB/s)
    int receiveIdleMs = 30000;
    int receiveOverallMs = 60000;
    int receiveOverallMsPerMiB = 10000;
    // how often declined offers over the limit are summed up in the log
    int offerDeclineReportMs = 10000;
    // both directions: status polls once the peer has every byte (ConfirmSchedule):
    // the first at once, then waits doubling from statusBackoffFirstMs up to
    // statusPollIntervalMs; asking ends no sooner than statusPolls polls and
    // statusPolls x statusPollIntervalMs
    int statusPollIntervalMs = 500;
    int statusPolls = 10;
    int statusBackoffFirstMs = 5;
    int maxConnections = 11;
    // serving an offered file
    int servingAcceptWaitMs = 30000;
    int servingTcpWaitMs = 5000;
    // an offered file may be fetched this long after the offer, then no more
    int offerLifetimeMs = 600000;
    // the window: re-enabling refresh after a pass, checking that the chosen device is
    // still there, how long a status-bar notice stays
    int windowDiscoveryFallbackMs = 4000;
    int windowDeviceCheckMs = 12000;
    int windowNoticeMs = 2000;
    // a device the window chose by itself gets its file browser, and the choice is
    // written, once the choice has held this long: while a pass brings devices in, the
    // remembered one may still arrive and take its place
    int windowChoiceSettleMs = 300;
    // the log: repeats of one kind of line beyond a few are counted over this window and
    // summed up in one line at its end
    int logRepeatWindowMs = 10000;
    // a database another process holds locked: how long one statement waits for it
    int databaseBusyWaitMs = 3000;

    // A copy: tests change the timing while the threads of a running client read it.
    static Timing current();
    static void setForTests(const Timing& timing);
    // A front end's own bound on each wait for the other side (an answer, a connection,
    // the next bytes): quorvelctl --timeout. The periods stay.
    static void limitWaits(int ms);
};
