// Tree building: consecutive record lines share their upper rows; empty group and service detail
// skip their level; root's ssh account is also attached to its server row.
#include "core/tree_building.h"


namespace sealkeep {

namespace {

void reset_below(TreeBuildState& state, TreeLevel level)
{
    for (int below = level + 1; below < LEVEL_COUNT; ++below)
        state.known[below] = false;
}

bool differs(const TreeBuildState& state, TreeLevel level, std::string_view value)
{
    return !state.known[level] || state.value[level] != value;
}

void remember(TreeBuildState& state, TreeLevel level, std::string_view value)
{
    state.value[level].assign(value);
    state.known[level] = true;
}

} // namespace

void add_record_line(TreeBuildState& state, RowSink& sink, const RecordKeys& line, std::uint32_t record)
{
    if (differs(state, LEVEL_CUSTOMER, line.customer)) {
        state.row[LEVEL_CUSTOMER] = sink.append_row(std::nullopt, line.customer, CUSTOMER_ICON);
        remember(state, LEVEL_CUSTOMER, line.customer);
        reset_below(state, LEVEL_CUSTOMER);
    }
    if (differs(state, LEVEL_GROUP, line.group)) {
        if (!line.group.empty())
            state.row[LEVEL_GROUP] = sink.append_row(state.row[LEVEL_CUSTOMER], line.group, nullptr);
        // An empty group is remembered too, so a change back to a group starts new rows.
        remember(state, LEVEL_GROUP, line.group);
        reset_below(state, LEVEL_GROUP);
    }
    if (differs(state, LEVEL_SERVER, line.server)) {
        RowId parent = line.group.empty() ? state.row[LEVEL_CUSTOMER] : state.row[LEVEL_GROUP];
        state.row[LEVEL_SERVER] = sink.append_row(parent, line.server, nullptr);
        remember(state, LEVEL_SERVER, line.server);
        reset_below(state, LEVEL_SERVER);
    }
    if (differs(state, LEVEL_SERVICE, line.service)) {
        state.row[LEVEL_SERVICE] = sink.append_row(state.row[LEVEL_SERVER], line.service, nullptr);
        remember(state, LEVEL_SERVICE, line.service);
        reset_below(state, LEVEL_SERVICE);
    }
    if (differs(state, LEVEL_SERVICEPLUS, line.serviceplus)) {
        if (!line.serviceplus.empty())
            state.row[LEVEL_SERVICEPLUS] = sink.append_row(state.row[LEVEL_SERVICE], line.serviceplus, nullptr);
        remember(state, LEVEL_SERVICEPLUS, line.serviceplus);
    }

    const std::string_view user = line.user.empty() ? std::string_view(NO_USER_TEXT) : line.user;
    RowId user_parent = line.serviceplus.empty() ? state.row[LEVEL_SERVICE] : state.row[LEVEL_SERVICEPLUS];
    RowId user_row = sink.append_row(user_parent, user, nullptr);

    sink.set_record(user_row, record);
    // The shortcut replaces any earlier one on this server row.
    if (user == "root" && line.service == "ssh")
        sink.set_record(state.row[LEVEL_SERVER], record);
}

} // namespace sealkeep
