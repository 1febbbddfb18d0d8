# Accumulator cores. Every module directory that carries one of them includes this
# file; the guard defines each target once, wherever it is first needed.
include_guard(GLOBAL)

korvana_core(korvana_acc_trace_core ${CMAKE_CURRENT_LIST_DIR}/core/acc_trace.cpp)
target_link_libraries(korvana_acc_trace_core PUBLIC korvana_state)
