// Tree building: consecutive record lines share their upper rows; empty group and service detail
// skip their level; root's ssh account is also attached to its server row.
#include "core/tree_building.h"


namespace sealkeep {

namespace {

void reset_below(TreeBuildState& state, TreeLevel level)
{
    for (int below = level + 1; below < LEVEL_COUNT; ++below)
        state.value[below].reset();
}

bool differs(const std::optional<std::string>& current, const std::string& value)
{
    return !current || *current != value;
}

} // namespace

void add_record_line(TreeBuildState& state, RowSink& sink, const RecordLine& line, std::uint32_t record)
{
    if (differs(state.value[LEVEL_CUSTOMER], line.customer)) {
        state.row[LEVEL_CUSTOMER] = sink.append_row(std::nullopt, line.customer, CUSTOMER_ICON);
        state.value[LEVEL_CUSTOMER] = line.customer;
        reset_below(state, LEVEL_CUSTOMER);
    }
    if (differs(state.value[LEVEL_GROUP], line.group)) {
        if (!line.group.empty())
            state.row[LEVEL_GROUP] = sink.append_row(state.row[LEVEL_CUSTOMER], line.group, nullptr);
        // An empty group is remembered too, so a change back to a group starts new rows.
        state.value[LEVEL_GROUP] = line.group;
        reset_below(state, LEVEL_GROUP);
    }
    if (differs(state.value[LEVEL_SERVER], line.server)) {
        RowId parent = line.group.empty() ? state.row[LEVEL_CUSTOMER] : state.row[LEVEL_GROUP];
        state.row[LEVEL_SERVER] = sink.append_row(parent, line.server, nullptr);
        state.value[LEVEL_SERVER] = line.server;
        reset_below(state, LEVEL_SERVER);
    }
    if (differs(state.value[LEVEL_SERVICE], line.service)) {
        state.row[LEVEL_SERVICE] = sink.append_row(state.row[LEVEL_SERVER], line.service, nullptr);
        state.value[LEVEL_SERVICE] = line.service;
        reset_below(state, LEVEL_SERVICE);
    }
    if (differs(state.value[LEVEL_SERVICEPLUS], line.serviceplus)) {
        if (!line.serviceplus.empty())
            state.row[LEVEL_SERVICEPLUS] = sink.append_row(state.row[LEVEL_SERVICE], line.serviceplus, nullptr);
        state.value[LEVEL_SERVICEPLUS] = line.serviceplus;
    }

    const std::string user = line.user.empty() ? std::string(NO_USER_TEXT) : line.user;
    RowId user_parent = line.serviceplus.empty() ? state.row[LEVEL_SERVICE] : state.row[LEVEL_SERVICEPLUS];
    RowId user_row = sink.append_row(user_parent, user, nullptr);

    sink.set_record(user_row, record);
    // The shortcut replaces any earlier one on this server row.
    if (user == "root" && line.service == "ssh")
        sink.set_record(state.row[LEVEL_SERVER], record);
}

} // namespace sealkeep
