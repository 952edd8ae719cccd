/*
 * The threaded event example (an event thread and two producers) recorded
 * in-process, then served from its cassette with content matching RUNS
 * times, with no board behind it:
 *   event_flow_replay CASSETTE RUNS
 * Each replay must pass, serve every recorded request and diverge nowhere.
 * Prints "N of RUNS replays passed"; exits 0 when all did.
 */
#include <stdio.h>
#include <stdlib.h>

#include <zel/zelsim_cassette.h>

#define main EventFlowMain
#include "../../examples/event_flow.c"
#undef main

int main(int argc, char **argv) {
    char *apszBoard[] = {argv[0], "--board", NULL};
    char szReport[4096];
    int nRecordings, nRuns, nPassed = 0, bPassed, i;
    setvbuf(stdout, NULL, _IOLBF, 0);
    if (argc != 4 || (nRecordings = atoi(argv[2])) < 0 || (nRuns = atoi(argv[3])) <= 0) {
        printf("usage: event_flow_replay CASSETTE RECORDINGS RUNS\n");
        return 2;
    }
    if (nRecordings == 0) nRecordings = -1;
    for (i = 0; i < abs(nRecordings) * nRuns; ++i) {
        if (nRecordings > 0 && i % nRuns == 0) {
            if (!ZelSimInstall() || !ZelSimCaptureStart(argv[1])) return 1;
            if (EventFlowMain(2, apszBoard) != 0) return 1;
            if (!ZelSimCaptureStop()) return 1;
            ZelSimUninstall();
        }
        if (!ZelSimReplayInstallEx(argv[1], ZELSIM_MATCH_CONTENT, szReport, sizeof(szReport))) {
            printf("%s\n", szReport);
            return 1;
        }
        bPassed = EventFlowMain(2, apszBoard) == 0 && !ZelSimReplayDiverged() && ZelSimReplayUnused() == 0;
        if (!bPassed) {
            ZelSimReplayReport(szReport, sizeof(szReport));
            printf("replay %d failed, %u requests unused\n%s", i + 1, (unsigned)ZelSimReplayUnused(), szReport);
        }
        nPassed += bPassed;
        ZelSimReplayUninstall();
    }
    printf("%d of %d replays passed\n", nPassed, abs(nRecordings) * nRuns);
    return nPassed == abs(nRecordings) * nRuns ? 0 : 1;
}
