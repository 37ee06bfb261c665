// Entry of the benchmark program: runs the selected cases like Google
// Benchmark's own main, then prints one summary table of the medians over
// the repetitions (all figures from thread CPU time).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

struct Row {
    std::string name;
    std::map<std::string, double> counters;
};

class SummaryReporter : public benchmark::ConsoleReporter {
  public:
    // Plain text: the output usually goes to a file or a log.
    SummaryReporter() : ConsoleReporter(OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            // Single runs count as their own median.
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
            if (run.error_occurred || !(median || single)) {
                continue;
            }
            Row row;
            row.name = run.run_name.function_name;
            if (!run.run_name.args.empty()) {
                row.name += "/" + run.run_name.args;
            }
            for (const auto& counter : run.counters) {
                row.counters[counter.first] = counter.second.value;
            }
            rows.push_back(row);
        }
    }

    void Finalize() override {
        ConsoleReporter::Finalize();
        std::FILE* out = stdout;
        std::fflush(out);
        std::fprintf(out, "\nSummary (medians of thread CPU time)\n");
        std::fprintf(out, "%-28s %14s %14s %12s %12s  %s\n", "case", "us/sub-step", "ns/spring",
                     "real-time x", "ms/call", "notes");
        for (const Row& row : rows) {
            std::fprintf(out, "%-28s %14s %14s %12s %12s  %s\n", row.name.c_str(),
                         field(row, "us_per_substep", "%.3f").c_str(),
                         field(row, "ns_per_spring", "%.3f").c_str(),
                         field(row, "realtime_x", "%.1f").c_str(),
                         field(row, "ms_per_call", "%.3f").c_str(), notes(row).c_str());
        }
        derived(out);
        std::fflush(out);
    }

  private:
    const Row* find(const std::string& name) const {
        for (const Row& row : rows) {
            if (row.name == name) {
                return &row;
            }
        }
        return nullptr;
    }

    double value(const std::string& name, const char* key) const {
        const Row* row = find(name);
        if (row == nullptr) {
            return -1.0;
        }
        const auto found = row->counters.find(key);
        return found == row->counters.end() ? -1.0 : found->second;
    }

    // Figures that combine two cases of the same run: the peer ratios and
    // our own share of the start-up.
    void derived(std::FILE* out) const {
        const char* ours[2] = {"BM_TruckResting", "BM_TruckDriving"};
        const char* peers[2] = {"BM_BulletSoftBody", "BM_BulletSoftBodyCollision"};
        for (const char* peer : peers) {
            for (const char* own : ours) {
                const double theirs = value(peer, "us_per_substep");
                const double mine = value(own, "us_per_substep");
                if (theirs > 0.0 && mine > 0.0) {
                    std::fprintf(out, "%s / %s: %.2f times our time per sub-step\n", peer, own,
                                 theirs / mine);
                }
            }
        }
        const double check = value("BM_TruckBlowUpCheck", "ns_per_frame");
        const double resting = value("BM_TruckResting", "us_per_substep");
        if (check > 0.0 && resting > 0.0) {
            std::fprintf(out,
                         "blow-up check: %.3f %% of the step of a 16 ms frame (32 sub-steps)\n",
                         100.0 * check * 1e-3 / (32.0 * resting));
        }
        const double feedback = value("BM_TruckFeedback", "ns_per_frame");
        const double driving = value("BM_TruckDriving", "us_per_substep");
        if (feedback > 0.0 && driving > 0.0) {
            std::fprintf(out,
                         "rumble and force feedback: %.3f %% of the step of a 16 ms frame\n",
                         100.0 * feedback * 1e-3 / (32.0 * driving));
        }
        // The map's cost against the default world's, medians of the pairs'
        // ratios (goals: 1.25 and 1.3).
        const double drive = value("BM_MinuteDrive", "ratio");
        if (drive > 0.0) {
            std::fprintf(out, "60 s drive, CPU: dunes map / default world: %.2f\n", drive);
        }
        const double frames = value("BM_MapFrames", "ratio");
        if (frames > 0.0) {
            std::fprintf(out,
                         "600 drawn frames, wall: dunes map / default world: %.2f (CPU %.2f)\n",
                         frames, value("BM_MapFrames", "cpu_ratio"));
        }
        // Damage on against off, medians of the pairs' ratios (goal: 1.15).
        const double damageStep = value("BM_DamageStep", "ratio");
        if (damageStep > 0.0) {
            std::fprintf(out, "wall crash drive, CPU per sub-step: damage on / off: %.3f\n",
                         damageStep);
        }
        const double damageFrames = value("BM_DamageFrames", "ratio");
        if (damageFrames > 0.0) {
            std::fprintf(
                out, "wall crash drive drawn, CPU per frame: damage on / off: %.3f (wall %.3f)\n",
                damageFrames, value("BM_DamageFrames", "wall_ratio"));
        }
        const double init = value("BM_TruckAppInit", "ms_per_call");
        const double uploads = value("BM_TextureUploads", "ms_per_call");
        if (init > 0.0 && uploads > 0.0) {
            std::fprintf(out, "TruckApp::init without the driver's texture uploads: %.2f ms\n",
                         init - uploads);
        }
    }

    static std::string field(const Row& row, const char* key, const char* format) {
        const auto found = row.counters.find(key);
        if (found == row.counters.end()) {
            return "-";
        }
        char text[64];
        std::snprintf(text, sizeof text, format, found->second);
        return text;
    }

    // Every other counter, as name=value.
    static std::string notes(const Row& row) {
        std::string text;
        for (const auto& counter : row.counters) {
            const std::string& key = counter.first;
            if (key == "us_per_substep" || key == "ns_per_spring" || key == "realtime_x" ||
                key == "ms_per_call") {
                continue;
            }
            char value[96];
            std::snprintf(value, sizeof value, "%s%s=%.4g", text.empty() ? "" : " ", key.c_str(),
                          counter.second);
            text += value;
        }
        return text;
    }

    std::vector<Row> rows;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
