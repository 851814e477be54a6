// SPDX-License-Identifier: MIT
#include "in_step.hpp"

#include <memory>
#include <new>

#include "csv_reader.hpp"
#include "input_file.hpp"
#include "output_file.hpp"
#include "price_feed.hpp"

namespace tamsel::cli {

namespace {

struct SetDeleter {
  void operator()(TamselChart_StreamSet* set) const { TamselChart_StreamSetDestroy(set); }
};

// Whether member's policy refuses high on its next bar, asked of a stream
// standing where the member stands (a stream set cannot be asked without
// committing): only for a row whose low is no number, which fails its input
// anyway.
bool refusesHigh(const TamselChart_StreamSet* set, int member, double high, TamselChart_PriceProblem& problem) {
  const int size = TamselChart_StreamSetSave(set, member, nullptr, 0);
  if (size <= 0) return false;
  std::vector<unsigned char> bytes(static_cast<std::size_t>(size));
  TamselChart_StreamSetSave(set, member, bytes.data(), size);
  TamselChart_Stream* standing = TamselChart_StreamLoad(bytes.data(), size, nullptr);
  if (standing == nullptr) return false;  // out of memory: the low's own failure stands
  const bool refused = RefusesHigh(standing, high, problem);
  TamselChart_StreamDestroy(standing);
  return refused;
}

// One input of the group, open while it converts: closed from the last
// field up, the conversion before the output it writes (whose temporary goes
// unless committed), the reader's source before the input.
struct Member {
  std::unique_ptr<InputFile> input;
  std::unique_ptr<csv::FdSource> source;
  std::unique_ptr<OutputFile> output;
  std::unique_ptr<SteppedConversion> conversion;
  SteppedConversion::RefusedHigh refusedHigh;
};

}  // namespace

void convertInStep(const std::vector<Job*>& jobs, const Plan& plan) {
  const int count = static_cast<int>(jobs.size());
  const std::unique_ptr<TamselChart_StreamSet, SetDeleter> set(TamselChart_StreamSetCreate(count));
  // Failures of the group as a whole are thrown: the caller fails every
  // input not done with them.
  if (!set || TamselChart_StreamSetSetMissingPolicy(set.get(), -1, static_cast<int>(plan.options.missing)) != 1)
    throw std::bad_alloc();
  std::vector<Member> members(static_cast<std::size_t>(count));
  // An input that ends, completed or failed, is closed at once, its member
  // then idle in the set.
  const auto close = [&](int i) {
    Member& m = members[i];
    m.conversion.reset();
    m.output.reset();
    m.source.reset();
    m.input.reset();
    jobs[i]->done.store(true);
  };
  for (int i = 0; i < count; ++i) {
    Job& job = *jobs[i];
    Member& m = members[i];
    const bool opened = runReporting(job, [&] {
      m.input = std::make_unique<InputFile>(job.input);
      m.source = std::make_unique<csv::FdSource>(m.input->fd());
      m.output = OutputFile::open(job.output);
      m.conversion = std::make_unique<SteppedConversion>(*m.source, job.input, *m.output, plan.options, &job.progress);
      m.refusedHigh = [&set, i](double high, TamselChart_PriceProblem& problem) {
        return refusesHigh(set.get(), i, high, problem);
      };
    });
    if (!opened) close(i);
  }

  std::vector<double> high(static_cast<std::size_t>(count)), low(static_cast<std::size_t>(count));
  std::vector<unsigned char> hasBar(static_cast<std::size_t>(count));
  std::vector<TamselChart_Values> values(static_cast<std::size_t>(count));
  for (;;) {
    bool anyBar = false;
    for (int i = 0; i < count; ++i) {
      hasBar[i] = 0;
      Member& m = members[i];
      if (!m.conversion) continue;
      const bool ok = runReporting(*jobs[i], [&] {
        if (m.conversion->nextPrices(high[i], low[i], m.refusedHigh)) {
          hasBar[i] = 1;
          return;
        }
        m.output->commit();
      });
      if (!ok || hasBar[i] == 0) close(i);
      anyBar = anyBar || hasBar[i] != 0;
    }
    if (!anyBar) return;  // every input has ended

    // A price refused fails its own input only: the interval goes again
    // without it (a refused push commits no member).
    TamselChart_PriceProblem problem{};
    int refusing = -1;
    while (TamselChart_StreamSetPushPrices(set.get(), high.data(), low.data(), hasBar.data(), values.data(), &problem,
                                           &refusing) < 0) {
      if (refusing < 0 || refusing >= count || hasBar[refusing] == 0)
        throw Failure(Status::Internal, "the library refused a bar it was not given");
      runReporting(*jobs[refusing], [&] { members[refusing].conversion->refuse(problem); });
      close(refusing);
      hasBar[refusing] = 0;
    }
    for (int i = 0; i < count; ++i)
      if (hasBar[i] != 0 &&
          !runReporting(*jobs[i], [&] { members[i].conversion->writeComputed(high[i], low[i], values[i]); }))
        close(i);
  }
}

}  // namespace tamsel::cli
