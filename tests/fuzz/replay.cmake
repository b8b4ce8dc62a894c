# Replays one checked-in corpus with a fixed seed and a fixed number of runs. libFuzzer adds what it
# finds to its corpus folder, so it runs on a fresh copy; a crash's input is kept beside the copy.
#   cmake -DFUZZER=... -DCORPUS=... -DWORK=... -DSEED=... -DRUNS=... -P replay.cmake
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/corpus ${WORK}/artifacts)
file(GLOB seeds ${CORPUS}/*)
file(COPY ${seeds} DESTINATION ${WORK}/corpus)

# Some branches of the C++ library compare addresses, so with address-space randomisation two runs
# with the same seed can still part ways. Where the system lets us turn it off, we do.
set(no_randomisation)
find_program(SETARCH setarch)
if(SETARCH)
    execute_process(COMMAND ${SETARCH} -R true RESULT_VARIABLE setarch_status OUTPUT_QUIET ERROR_QUIET)
    if(setarch_status EQUAL 0)
        set(no_randomisation ${SETARCH} -R)
    endif()
endif()
if(NOT no_randomisation)
    message(STATUS "setarch -R is not available here: this replay may differ a little from others")
endif()

# -reload=0: the corpus folder is not read again on a timer, which would depend on the clock.
execute_process(
    COMMAND ${no_randomisation} ${FUZZER} -seed=${SEED} -runs=${RUNS} -reload=0 -artifact_prefix=${WORK}/artifacts/
            ${WORK}/corpus
    WORKING_DIRECTORY ${WORK}
    RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "${FUZZER} failed (${status}); the failing input is in ${WORK}/artifacts")
endif()
