// What a person with many accounts waits for, measured in the real shown window: the whole load through
// gpg until the tree is first drawn, one search keystroke, Refresh's clear, the CPU time and memory a load
// costs. It also writes the plaintext password files of each shape that scripts/bench encrypts, so that
// every run measures the same data.
//   sealkeep_bench generate SHAPE ACCOUNTS OUT       (SHAPE: mix, one-branch, many-customers, long-lines)
//   sealkeep_bench run [--callgrind] PASSPHRASE SHAPE@ACCOUNTS=FILE...
#include "core/document.h"
#include "core/entry_record.h"
#include "core/gpg_command.h"
#include "core/settings_values.h"
#include "ui/file/load_job.h"
#include "ui/glib_ptr.h"
#include "ui/settings/settings_store.h"
#include "ui/tree/account_model.h"
#include "ui/tree/entry_store.h"
#include "ui/window/main_window.h"
#include "ui/window/view_commands.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include <fcntl.h>
#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#else
#define CALLGRIND_TOGGLE_COLLECT
#define CALLGRIND_DUMP_STATS_AT(name) ((void)(name))
#endif

namespace sealkeep::bench {

namespace {

// ---------------------------------------------------------------------------------------------------
// The password files: many customers, some with groups, several servers each, the four services, some
// with a service detail, one to three users per service. A fixed seed keeps every run on the same data.

class Random {
public:
    std::uint64_t next()
    {
        // splitmix64: the same sequence with every compiler and library, unlike the std distributions.
        std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }
    std::size_t below(std::size_t n) { return static_cast<std::size_t>(next() % n); }
    bool chance(int percent) { return below(100) < static_cast<std::size_t>(percent); }
    template <typename T>
    const T& pick(const std::vector<T>& items)
    {
        return items[below(items.size())];
    }
    // k distinct items in a random order.
    template <typename T>
    std::vector<T> distinct(std::vector<T> items, std::size_t k)
    {
        for (std::size_t i = items.size(); i > 1; --i)
            std::swap(items[i - 1], items[below(i)]);
        items.resize(std::min(k, items.size()));
        return items;
    }

private:
    std::uint64_t state_ = 20260101;
};

const std::vector<std::string> ADJECTIVES = {"Blue",    "Northern", "Silver",  "Rapid", "Green",  "Golden", "Bright",
                                             "Alpine",  "Coastal",  "United",  "Royal", "Modern", "Summit", "Urban",
                                             "Pacific", "Iron",     "Crystal", "Swift", "Oak",    "Prime"};
const std::vector<std::string> NOUNS = {
    "River",  "Bridge", "Harbor",   "Forge",  "Valley",  "Logistics", "Bakery",   "Clinic", "Motors", "Print",
    "Travel", "Dental", "Textiles", "Foods",  "Studios", "Hotels",    "Systems",  "Pharma", "Optics", "Garden",
    "Legal",  "Energy", "Books",    "Marine", "Films",   "Storage",   "Networks", "Farms",  "Audio",  "Labs"};
const std::vector<std::string> KINDS = {"Ltd", "GmbH", "SA", "Inc", "AG", "BV", "and Sons", "Group"};
const std::vector<std::string> GROUPS = {"Production", "Staging", "Development", "Backup", "Office", "DMZ"};
const std::vector<std::string> ROLES = {"web", "db", "mail", "app", "files", "proxy", "vpn", "dns", "git", "monitor"};
const std::vector<std::string> SERVICES = {"ssh", "ssh", "http", "http", "ftp", "telnet"};
const std::map<std::string, std::vector<std::string>> USERS = {
    {"ssh", {"root", "admin", "deploy", "backup", "operator", "jdoe", "msmith"}},
    // Web and file accounts are mail addresses at the customer's domain.
    {"http", {"admin@", "webmaster@", "editor@", "support@", "manager@"}},
    {"ftp", {"upload@", "ftpuser@", "backup@", "partner@"}},
    {"telnet", {"admin", "operator", "field"}},
};
const std::map<std::string, std::vector<std::string>> DETAILS = {
    {"ssh", {"2222", "22022"}},
    {"http", {"admin", "8080", "webmail", "/phpmyadmin", "intranet"}},
    {"ftp", {"passive"}},
    {"telnet", {}},
};

std::string lowered(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string password(Random& random)
{
    static const char CHARS[] = "abcdefghijkmnopqrstuvwxyzABCDEFGHJKLMNPQRSTUVWXYZ23456789!#%&*+-=?@_";
    std::string text;
    for (std::size_t i = 0, n = 12 + random.below(9); i < n; ++i)
        text += CHARS[random.below(sizeof CHARS - 1)];
    return text;
}

void write_account(std::ostream& out, const std::string& customer, const std::string& group, const std::string& server,
                   const std::string& service, const std::string& detail, const std::string& user,
                   const std::string& secret)
{
    out << "customer=" << customer << ";group=" << group << ";server=" << server << ";service=" << service
        << ";serviceplus=" << detail << ";user=" << user << ";password=" << secret << "\n";
}

// The present mix: many customers, some with groups, several servers each, the four services, some with
// a service detail, one to three users per service.
void generate_mix(std::ostream& out, std::size_t accounts)
{
    Random random;
    std::size_t made = 0;
    while (made < accounts) {
        const std::string& adjective = random.pick(ADJECTIVES);
        const std::string& noun = random.pick(NOUNS);
        const std::string customer = adjective + " " + noun + " " + random.pick(KINDS);
        // Hosts of every customer live under the provider's own domain.
        const std::string domain = lowered(adjective + noun) + ".example.net";
        std::vector<std::string> groups =
            random.chance(30) ? std::vector<std::string>{""} : random.distinct(GROUPS, 1 + random.below(3));
        for (const auto& group : groups) {
            for (std::size_t s = 0, servers = 2 + random.below(5); s < servers; ++s) {
                char number[8];
                std::snprintf(number, sizeof number, "%02zu", 1 + random.below(40));
                const std::string server = random.pick(ROLES) + number + "." + domain;
                std::set<std::string> seen;
                for (std::size_t v = 0, services = 1 + random.below(3); v < services; ++v) {
                    const std::string& service = random.pick(SERVICES);
                    if (!seen.insert(service).second)
                        continue;
                    const auto& details = DETAILS.at(service);
                    const std::string detail = !details.empty() && random.chance(25) ? random.pick(details) : "";
                    for (auto user : random.distinct(USERS.at(service), 1 + random.below(3))) {
                        if (user.ends_with('@'))
                            user += domain;
                        write_account(out, customer, group, server, service, detail, user, password(random));
                        if (++made == accounts)
                            return;
                    }
                }
            }
        }
    }
}

// Every account a user of one service of one server of one customer: one row with all of them as
// children, the widest branch a file can make.
void generate_one_branch(std::ostream& out, std::size_t accounts)
{
    Random random;
    for (std::size_t n = 0; n < accounts; ++n)
        write_account(out, "Summit Logistics Group", "", "gate01.summitlogistics.example.net", "ssh", "",
                      "user" + std::to_string(100000 + n), password(random));
}

// One account per customer: every account has its own top-level row.
void generate_many_customers(std::ostream& out, std::size_t accounts)
{
    Random random;
    for (std::size_t n = 0; n < accounts; ++n) {
        const std::string& adjective = random.pick(ADJECTIVES);
        const std::string& noun = random.pick(NOUNS);
        const std::string domain = lowered(adjective + noun) + std::to_string(n) + ".example.net";
        const std::string& service = random.pick(SERVICES);
        write_account(out, adjective + " " + noun + " " + random.pick(KINDS) + " " + std::to_string(n), "",
                      random.pick(ROLES) + "01." + domain, service, "", random.pick(USERS.at(service)),
                      password(random));
    }
}

// Words up to about `length` bytes.
std::string words(Random& random, std::size_t length)
{
    std::string text = random.pick(ADJECTIVES);
    while (text.size() < length)
        text += " " + random.pick(random.chance(50) ? NOUNS : ADJECTIVES);
    return text;
}

// Lines of about a kilobyte: long customer, group, server, detail and password values, the rows still
// shared between neighbouring lines as in a real file.
void generate_long_lines(std::ostream& out, std::size_t accounts)
{
    Random random;
    std::string customer, group, server, service, detail;
    for (std::size_t n = 0; n < accounts; ++n) {
        if (n % 40 == 0)
            customer = words(random, 160) + " " + std::to_string(n);
        if (n % 20 == 0)
            group = words(random, 150);
        if (n % 10 == 0)
            server = lowered(words(random, 140)) + "-" + std::to_string(n) + ".example.net";
        if (n % 3 == 0) {
            service = random.pick(SERVICES);
            detail.clear();
            if (random.chance(50))
                detail.append("/").append(lowered(words(random, 150)));
        }
        std::string secret;
        while (secret.size() < 300)
            secret += password(random);
        write_account(out, customer, group, server, service, detail, lowered(words(random, 60)), secret);
    }
}

const std::map<std::string, void (*)(std::ostream&, std::size_t)> SHAPES = {
    {"mix", generate_mix},
    {"one-branch", generate_one_branch},
    {"many-customers", generate_many_customers},
    {"long-lines", generate_long_lines},
};

int generate(const std::string& shape, std::size_t accounts, const char* out_path)
{
    const auto found = SHAPES.find(shape);
    if (found == SHAPES.end()) {
        std::fprintf(stderr, "sealkeep_bench: no shape %s\n", shape.c_str());
        return 2;
    }
    std::ofstream out(out_path, std::ios::binary);
    found->second(out, accounts);
    out.flush();
    return out.good() ? 0 : 1;
}

// ---------------------------------------------------------------------------------------------------
// Measuring.

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n == 0 ? 0 : (n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2);
}

// Runs the main loop until the window has nothing left to do: the view's row validation and drawing
// happen in idle handlers and expose events after a load.
void drain()
{
    for (int round = 0; round < 2; ++round) {
        while (gtk_events_pending())
            gtk_main_iteration();
        gdk_display_sync(gdk_display_get_default());
    }
}

// What malloc hands out, beside what the process holds: the difference is memory lost to holes.
long heap_in_use()
{
    const struct mallinfo2 info = mallinfo2();
    return static_cast<long>(info.uordblks + info.hblkhd);
}

long resident_bytes()
{
    long pages = 0, resident = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(statm);
    }
    return resident * sysconf(_SC_PAGESIZE);
}

// The number printed beside its target, so a reader sees at once which targets hold.
void report(const std::string& name, double value, const char* unit, int decimals, const std::string& target = {},
            bool met = true)
{
    std::printf("%s: %.*f %s", name.c_str(), decimals, value, unit);
    if (!target.empty())
        std::printf("  (target %s: %s)", target.c_str(), met ? "met" : "MISSED");
    std::printf("\n");
    std::fflush(stdout);
}

void report_text(const std::string& name, const std::string& value)
{
    std::printf("%s: %s\n", name.c_str(), value.c_str());
    std::fflush(stdout);
}

// One keystroke as the person meets it: until the tree has drawn its result (the figure held against
// the target), until the window has nothing left to do (the filter's rows are expanded and dropped in
// idle slices after the drawing), and the longest stretch the main loop was busy meanwhile, which is
// how long a next keystroke could wait.
struct KeystrokeTimes {
    double drawn = 0;
    double idle = 0;
    double longest = 0;
};

gboolean on_keystroke_exposed(GtkWidget*, GdkEventExpose*, bool* exposed)
{
    *exposed = true;
    return FALSE;
}

template <typename Press>
KeystrokeTimes time_keystroke(MainWindow& main, Press press)
{
    bool exposed = false;
    std::vector<std::pair<GtkWidget*, gulong>> handlers;
    // Before the view's own handler, which may end the emission (an empty view does): the time is
    // taken when the main loop's iteration that drew returns.
    for (GtkTreeView* view : all_tree_views(main.tree))
        handlers.emplace_back(GTK_WIDGET(view),
                              g_signal_connect(view, "expose-event", G_CALLBACK(on_keystroke_exposed), &exposed));
    KeystrokeTimes times;
    double drawn = -1;
    const auto start = Clock::now();
    press();
    times.longest = seconds_since(start);
    for (int round = 0; round < 2; ++round) {
        while (gtk_events_pending()) {
            const auto step = Clock::now();
            gtk_main_iteration();
            times.longest = std::max(times.longest, seconds_since(step));
            if (exposed && drawn < 0)
                drawn = seconds_since(start);
        }
        gdk_display_sync(gdk_display_get_default());
    }
    times.idle = seconds_since(start);
    // A keystroke that changes nothing on screen has nothing to draw: it ends when the loop is idle.
    times.drawn = drawn < 0 ? times.idle : drawn;
    for (const auto& [widget, handler] : handlers)
        g_signal_handler_disconnect(widget, handler);
    return times;
}

// The figures of a keystroke's runs: the drawn one against its target, the others beside it.
void report_keystroke(const std::string& name, const std::vector<KeystrokeTimes>& runs, bool big,
                      double target_ms = 16)
{
    std::vector<double> drawn, idle, longest;
    for (const KeystrokeTimes& run : runs) {
        drawn.push_back(run.drawn);
        idle.push_back(run.idle);
        longest.push_back(run.longest);
    }
    const double ms = median(drawn) * 1000;
    const std::string target = "<= " + std::to_string(static_cast<int>(target_ms)) + " ms";
    report(name, ms, "ms", 2, big ? target : "", ms <= target_ms);
    report(name + ", until idle", median(idle) * 1000, "ms", 2);
    report(name + ", longest busy stretch", median(longest) * 1000, "ms", 2);
}


// The exact arguments the load starts gpg with, the passphrase on a pipe of its own, its output and
// status lines and notices thrown away.
double gpg_alone(const std::string& path, const std::string& secret)
{
    int ends[2];
    if (pipe(ends) != 0)
        return -1;
    if (write(ends[1], secret.data(), secret.size()) != static_cast<ssize_t>(secret.size()))
        return -1;
    close(ends[1]);
    const int status_fd = open("/dev/null", O_WRONLY);
    std::string command;
    for (const std::string& argument : gpg_arguments("gpg", status_fd, ends[0], path)) {
        GCharPtr quoted{g_shell_quote(argument.c_str())};
        command += std::string(quoted.get()) + " ";
    }
    command += ">/dev/null 2>/dev/null";
    const auto start = Clock::now();
    const int status = std::system(command.c_str());
    const double elapsed = seconds_since(start);
    close(ends[0]);
    close(status_fd);
    return status == 0 ? elapsed : -1;
}

// Seconds of CPU this process has used, over all its threads; gpg is a child process and not in it.
double own_cpu_seconds()
{
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// When the tree view first finished drawing a loaded document: the moment the person sees the accounts.
struct FirstDraw {
    bool seen = false;
    Clock::time_point at;
    double cpu = 0;
};

gboolean on_view_exposed(GtkWidget* view, GdkEventExpose*, FirstDraw* draw)
{
    const Document* document = account_model_document(gtk_tree_view_get_model(GTK_TREE_VIEW(view)));
    if (!draw->seen && document && !document->rows().empty()) {
        draw->seen = true;
        draw->at = Clock::now();
        draw->cpu = own_cpu_seconds();
    }
    return FALSE;
}

gboolean wake_up(gpointer)
{
    return G_SOURCE_CONTINUE;
}

// Runs the main loop, as the shown window does while gpg and the worker run, until the view has drawn
// the loaded rows for the first time (at most a minute after the load ended).
void wait_for_first_draw(MainWindow& main, const FirstDraw& draw)
{
    const guint ticker = g_timeout_add(50, wake_up, nullptr);
    while (load_running(main.file))
        g_main_context_iteration(nullptr, TRUE);
    const auto ended = Clock::now();
    while (!draw.seen && seconds_since(ended) < 60)
        g_main_context_iteration(nullptr, TRUE);
    g_source_remove(ticker);
    if (!draw.seen) {
        std::fprintf(stderr, "sealkeep_bench: the view never drew the loaded rows\n");
        std::exit(1);
    }
}

struct Rows {
    std::size_t total = 0;
    std::size_t top_level = 0;
    std::vector<std::string> lowered_texts;
};

void lower_ascii(std::string& text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
}

Rows collect_rows(GtkTreeModel* model)
{
    Rows rows;
    rows.top_level = static_cast<std::size_t>(gtk_tree_model_iter_n_children(model, nullptr));
    gtk_tree_model_foreach(
        model,
        [](GtkTreeModel* m, GtkTreePath*, GtkTreeIter* iter, gpointer data) -> gboolean {
            auto* rows = static_cast<Rows*>(data);
            gchar* text = nullptr;
            gtk_tree_model_get(m, iter, COL_TEXT, &text, -1);
            std::string lowered_text = text ? text : "";
            g_free(text);
            lower_ascii(lowered_text);
            rows->lowered_texts.push_back(std::move(lowered_text));
            ++rows->total;
            return FALSE;
        },
        &rows);
    return rows;
}

struct SearchText {
    const char* kind;
    std::string text;
    std::size_t rows_matched;
};

// Three-letter texts picked from the loaded rows themselves: one found in about ten rows, one in about
// one row in a hundred, the one found in the most rows, and one found nowhere. The candidates come from
// a sample of the rows (every row of a long-lines file would take minutes); the rows each one finds are
// then counted over all of them.
std::vector<SearchText> pick_search_texts(const Rows& rows)
{
    std::unordered_map<std::string, std::size_t> counts;
    const std::size_t step = std::max<std::size_t>(1, rows.total / 20000);
    for (std::size_t r = 0; r < rows.total; r += step) {
        const std::string& text = rows.lowered_texts[r];
        std::set<std::string> in_row;
        for (std::size_t i = 0; i + 3 <= text.size(); ++i) {
            std::string tri = text.substr(i, 3);
            if (std::all_of(tri.begin(), tri.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)); }))
                in_row.insert(std::move(tri));
        }
        for (const auto& tri : in_row)
            ++counts[tri];
    }
    const double sampled = static_cast<double>((rows.total + step - 1) / step);
    // The sampled count nearest to `wanted` rows of all, ties to the smaller text.
    auto nearest = [&](double wanted) {
        const double target = wanted * sampled / static_cast<double>(rows.total);
        std::string best;
        for (const auto& [tri, count] : counts) {
            const double distance = std::abs(static_cast<double>(count) - target);
            const double best_distance = best.empty() ? 0 : std::abs(static_cast<double>(counts[best]) - target);
            if (best.empty() || distance < best_distance || (distance == best_distance && tri < best))
                best = tri;
        }
        return best;
    };
    std::string common;
    for (const auto& [tri, count] : counts)
        if (common.empty() || count > counts[common] || (count == counts[common] && tri < common))
            common = tri;
    std::string none = "zqx";
    for (char c = 'a'; counts.count(none) && c <= 'z'; ++c)
        none = std::string("qj") + c;
    auto matched = [&](const std::string& tri) {
        return static_cast<std::size_t>(std::count_if(rows.lowered_texts.begin(), rows.lowered_texts.end(),
                                                      [&](const std::string& t) { return t.find(tri) != t.npos; }));
    };
    std::vector<SearchText> texts = {{"few", nearest(10), 0},
                                     {"1%", nearest(static_cast<double>(rows.total) / 100), 0},
                                     {"most", common, 0},
                                     {"none", none, 0}};
    for (auto& search : texts)
        search.rows_matched = matched(search.text);
    return texts;
}

struct SizeResult {
    std::string shape;
    std::size_t accounts = 0;
    double own_cpu_per_account_us = 0;
};

SizeResult measure(MainWindow& main, const std::string& shape, const std::string& path, std::size_t accounts,
                   const std::string& secret, bool callgrind)
{
    const std::string at = " (" + shape + ") @" + std::to_string(accounts);
    // The targets are set at a hundred thousand accounts; other sizes print their figures only.
    const bool big = accounts == 100000;
    GtkEntry* prompt_entry = main.prompt.entry;
    GtkEntry* search_entry = main.search.entry;
    main.settings.values.password_file_path = path;
    SizeResult result;
    result.shape = shape;
    result.accounts = accounts;
    FirstDraw draw;
    // Any of the tree's views: Refresh's clear swaps the whole tree's two.
    const std::vector<GtkTreeView*> views = all_tree_views(main.tree);
    std::vector<gulong> exposed;
    for (GtkTreeView* view : views)
        exposed.push_back(g_signal_connect_after(view, "expose-event", G_CALLBACK(on_view_exposed), &draw));

    // gpg's first run starts the agent; that is nobody's steady cost.
    gpg_alone(path, secret);
    std::vector<double> gpg_times;
    if (!callgrind)
        for (int i = 0; i < (accounts > 100000 ? 3 : 5); ++i)
            gpg_times.push_back(gpg_alone(path, secret));
    const double gpg = median(gpg_times);

    const int loads = callgrind ? 1 : 3;
    std::vector<double> load_times, idle_times, cpu_times;
    // Refresh's clear, as a keystroke: until the emptied tree is drawn, the old rows let go after.
    std::vector<KeystrokeTimes> clear_times;
    long added_bytes = 0, added_heap = 0;
    std::size_t plaintext_bytes = 0;
    for (int i = 0; i < loads; ++i) {
        const bool full = gtk_tree_model_iter_n_children(main.tree.model, nullptr) > 0;
        const KeystrokeTimes cleared = time_keystroke(main, [&] { refresh_entries(main); });
        drain();
        if (full)
            clear_times.push_back(cleared);

        malloc_trim(0);
        const long before = resident_bytes(), heap_before = heap_in_use();
        gtk_entry_set_text(prompt_entry, secret.c_str());
        draw = FirstDraw{};
        if (callgrind)
            CALLGRIND_TOGGLE_COLLECT;
        const double cpu_before = own_cpu_seconds();
        const auto start = Clock::now();
        // The key press in the prompt: the load runs beside the main loop, and has ended for the person
        // when the view shows its rows.
        gtk_widget_activate(GTK_WIDGET(prompt_entry));
        wait_for_first_draw(main, draw);
        load_times.push_back(std::chrono::duration<double>(draw.at - start).count());
        cpu_times.push_back(draw.cpu - cpu_before);
        if (callgrind) {
            CALLGRIND_TOGGLE_COLLECT;
            // The name is read when the request is made: it must outlive the macro's statement.
            const std::string dump = "load" + at;
            CALLGRIND_DUMP_STATS_AT(dump.c_str());
        }
        // What the view does after that first drawing (measuring every top-level row) goes on in idle time.
        drain();
        idle_times.push_back(seconds_since(start));
        malloc_trim(0);
        const Document* document = account_model_document(main.tree.model);
        if (i == 0) {
            added_bytes = resident_bytes() - before;
            added_heap = heap_in_use() - heap_before;
            plaintext_bytes = document ? document->plaintext().size() : 0;
        }
        const std::size_t records = document ? document->records().size() : 0;
        if (!main.tree.database_loaded || records < accounts) {
            std::fprintf(stderr, "sealkeep_bench: the load of %s gave %zu records, expected at least %zu\n",
                         path.c_str(), records, accounts);
            std::exit(1);
        }
    }
    for (std::size_t i = 0; i < views.size(); ++i)
        g_signal_handler_disconnect(views[i], exposed[i]);

    const Rows rows = collect_rows(main.tree.model);
    report_text("rows" + at, std::to_string(rows.total) + " (" + std::to_string(rows.top_level) + " customers)");
    if (!callgrind) {
        const double load = median(load_times);
        report("gpg alone" + at, gpg, "s", 3);
        report("load" + at, load, "s", 3);
        const double ratio = load / gpg;
        report("load / gpg alone" + at, ratio, "", 2, big ? "<= 1.3" : "", ratio <= 1.3);
        report("load until the window is idle" + at, median(idle_times), "s", 3);
        result.own_cpu_per_account_us = median(cpu_times) / static_cast<double>(accounts) * 1e6;
        report("own CPU per account" + at, result.own_cpu_per_account_us, "us", 2, big ? "<= 2 us" : "",
               result.own_cpu_per_account_us <= 2);
        const double allowed = static_cast<double>(plaintext_bytes) + 100.0 * static_cast<double>(accounts);
        report("memory added by a load" + at, static_cast<double>(added_bytes) / 1e6, "MB", 1);
        report("memory added / (plaintext + 100 bytes per account)" + at, static_cast<double>(added_bytes) / allowed,
               "", 2, big ? "<= 1" : "", static_cast<double>(added_bytes) <= allowed);
        report("memory per account" + at, static_cast<double>(added_bytes) / static_cast<double>(accounts), "bytes", 0);
        report("heap in use per account" + at, static_cast<double>(added_heap) / static_cast<double>(accounts), "bytes",
               0);
    }

    for (const auto& search : pick_search_texts(rows)) {
        // The first emission (setting the text) is not counted: the text then stands, and each counted
        // emission is one keystroke's whole search with the view's update, from a collapsed tree as after
        // a load, so that revealing the first match is in it.
        gtk_entry_set_text(search_entry, search.text.c_str());
        drain();
        std::vector<KeystrokeTimes> times;
        for (int i = 0; i < (callgrind ? 1 : 15); ++i) {
            gtk_tree_view_collapse_all(main.tree.view);
            drain();
            if (callgrind)
                CALLGRIND_TOGGLE_COLLECT;
            times.push_back(time_keystroke(main, [&] { g_signal_emit_by_name(search_entry, "changed"); }));
            if (callgrind) {
                CALLGRIND_TOGGLE_COLLECT;
                const std::string dump = "search " + std::string(search.kind) + at;
                CALLGRIND_DUMP_STATS_AT(dump.c_str());
            }
        }
        const std::string name = "search " + std::string(search.kind) + " \"" + search.text + "\" (" +
                                 std::to_string(search.rows_matched) + " rows)" + at;
        if (!callgrind) {
            report_keystroke(name, times, big);
        } else {
            report_text(name, "instructions counted below");
        }
    }

    // The same texts with the filter on: each keystroke from the whole tree as the user had it, and the
    // deletion that brings the whole tree back.
    main.settings.values.search_filter = true;
    for (const auto& search : pick_search_texts(rows)) {
        std::vector<KeystrokeTimes> filter_times;
        std::vector<KeystrokeTimes> restore_times;
        for (int i = 0; i < (callgrind ? 1 : 7); ++i) {
            filter_times.push_back(
                time_keystroke(main, [&] { gtk_entry_set_text(search_entry, search.text.c_str()); }));
            restore_times.push_back(time_keystroke(main, [&] { gtk_entry_set_text(search_entry, ""); }));
        }
        if (!callgrind) {
            const std::string name = "filter " + std::string(search.kind) + " \"" + search.text + "\" (" +
                                     std::to_string(search.rows_matched) + " rows)" + at;
            report_keystroke(name, filter_times, big);
            report_keystroke("filter emptied, whole tree back " + std::string(search.kind) + at, restore_times, big);
        }
    }
    // Typing on in a filter: from "most" with every row in, to each other text. The view lets go of
    // the rows it had before it shows the new ones.
    if (!callgrind) {
        const auto texts = pick_search_texts(rows);
        const SearchText& most = texts[2];
        for (const auto& search : texts) {
            if (&search == &most)
                continue;
            std::vector<KeystrokeTimes> times;
            for (int i = 0; i < 5; ++i) {
                gtk_entry_set_text(search_entry, most.text.c_str());
                drain();
                times.push_back(time_keystroke(main, [&] { gtk_entry_set_text(search_entry, search.text.c_str()); }));
                gtk_entry_set_text(search_entry, "");
                drain();
            }
            std::string name = "filter from most to ";
            name.append(search.kind).append(" \"").append(search.text).append("\"").append(at);
            report_keystroke(name, times, big);
        }
    }
    main.settings.values.search_filter = false;

    if (callgrind)
        CALLGRIND_TOGGLE_COLLECT;
    clear_times.push_back(time_keystroke(main, [&] { refresh_entries(main); }));
    drain();
    if (callgrind) {
        CALLGRIND_TOGGLE_COLLECT;
        const std::string dump = "clear" + at;
        CALLGRIND_DUMP_STATS_AT(dump.c_str());
    }
    if (!callgrind)
        report_keystroke("clear" + at, clear_times, true, 10);
    return result;
}

int run(int argc, char** argv)
{
    bool callgrind = false;
    int next = 2;
    if (next < argc && std::strcmp(argv[next], "--callgrind") == 0) {
        callgrind = true;
        ++next;
    }
    if (next >= argc) {
        std::fprintf(stderr, "usage: sealkeep_bench run [--callgrind] PASSPHRASE SHAPE@ACCOUNTS=FILE...\n");
        return 2;
    }
    const std::string secret = argv[next++];

    // The allocator as the program sets it up: every block overwritten when it is released.
#ifdef M_PERTURB
    mallopt(M_PERTURB, 0x5a);
#endif
    RefPtr<GSettings> settings = open_settings();
    SettingsValues values = load_settings(settings.get());
    gtk_init(nullptr, nullptr);
    std::unique_ptr<MainWindow> main = create_main_window(std::move(values), std::move(settings));
    drain();

    std::vector<SizeResult> results;
    for (; next < argc; ++next) {
        const std::string spec = argv[next];
        const std::size_t at = spec.find('@'), equals = spec.find('=');
        if (at == std::string::npos || equals == std::string::npos || equals < at) {
            std::fprintf(stderr, "sealkeep_bench: %s is not SHAPE@ACCOUNTS=FILE\n", spec.c_str());
            return 2;
        }
        results.push_back(measure(*main, spec.substr(0, at), spec.substr(equals + 1),
                                  std::stoul(spec.substr(at + 1, equals - at - 1)), secret, callgrind));
    }

    // Linear means the per-account figure does not grow with the file.
    if (!callgrind)
        for (const auto& big : results)
            for (const auto& small : results)
                if (big.shape == small.shape && big.accounts == 100000 && small.accounts == 10000) {
                    const double growth = big.own_cpu_per_account_us / small.own_cpu_per_account_us;
                    report("own CPU per account @100000 / @10000 (" + big.shape + ")", growth, "", 2, "<= 1.1",
                           growth <= 1.1);
                }
    return 0;
}

} // namespace

} // namespace sealkeep::bench

int main(int argc, char** argv)
{
    if (argc == 5 && std::strcmp(argv[1], "generate") == 0)
        return sealkeep::bench::generate(argv[2], std::stoul(argv[3]), argv[4]);
    if (argc >= 2 && std::strcmp(argv[1], "run") == 0)
        return sealkeep::bench::run(argc, argv);
    std::fprintf(stderr, "usage: sealkeep_bench generate SHAPE ACCOUNTS OUT | run [--callgrind] PASSPHRASE "
                         "SHAPE@ACCOUNTS=FILE...\n");
    return 2;
}
