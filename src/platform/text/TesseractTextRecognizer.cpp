#include "TesseractTextRecognizer.h"

#include "platform/base/Translate.h"
#include "platform/text/DarkAreas.h"
#include "platform/text/GrayImage.h"
#include "platform/text/TextRecognitionError.h"
#include "platform/text/TextRecognitionLanguages.h"

#include <tesseract/baseapi.h>
#include <tesseract/ocrclass.h>
#include <tesseract/resultiterator.h>

#include <QScopeGuard>
#include <QThread>

#include <dlfcn.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <exception>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace crel {

namespace {

constexpr int kTextContrast = GrayImage::kTextContrast;

// Strips: each keeps the lines whose centre falls in its core; the margin
// around the core lets any line up to twice its height be read whole.
constexpr int kStripMargin = 64;
constexpr int kMinStripCore = 200;
constexpr qint64 kSplitArea = 800'000;
// The engine's work on one page grows faster than its words (about as their
// count to the power 1.6 on dense text): a strip's core holds at most this
// many buffer pixels, so that a page of tiny text costs in proportion to its
// size, not to its square.
constexpr qint64 kMaxStripCoreArea = 2'000'000;
// A large image is cut into at least as many strips as there can be engines,
// whatever the number of cores: where the cuts fall decides what is read.
constexpr int kMaxEngines = 8;

constexpr int kResolution = 96;
constexpr float kMinWordConfidence = 30;
constexpr float kMinSymbolConfidence = 75;

void stopIfCancelled(const std::atomic<bool> &cancelled) {
  if (cancelled)
    throw TextRecognitionError(QStringLiteral("Cancelled."));
}

void limitOpenMpOnThisThread() {
  // Tesseract parallelises inside each engine with OpenMP; we run several
  // engines instead, which is far faster than oversubscribing the cores.
  // The runtime reads OMP_THREAD_LIMIT when it is loaded, before main, so
  // the limit is set through its API, per thread, when one is present.
  using SetInt = void (*)(int);
  static const auto setMaxActiveLevels = reinterpret_cast<SetInt>(dlsym(RTLD_DEFAULT, "omp_set_max_active_levels"));
  static const auto setNumThreads = reinterpret_cast<SetInt>(dlsym(RTLD_DEFAULT, "omp_set_num_threads"));
  if (setMaxActiveLevels)
    setMaxActiveLevels(0);
  if (setNumThreads)
    setNumThreads(1);
}

bool hasLetterOrDigit(const QString &text) {
  return std::any_of(text.begin(), text.end(), [](QChar c) { return c.isLetterOrNumber(); });
}

enum class Verdict { Keep, Doubtful, Noise };

// A word with letters or digits below the confidence floor is doubtful, not
// noise: in a line of widely spaced columns the line recogniser can score a
// plainly drawn word near zero, and it is read again on its own.
Verdict verdict(const QString &text, float confidence) {
  if (text.isEmpty() || std::any_of(text.begin(), text.end(), [](QChar c) { return c.isSpace(); }))
    return Verdict::Noise;
  if (!hasLetterOrDigit(text))
    return confidence < kMinSymbolConfidence ? Verdict::Noise : Verdict::Keep;
  return confidence < kMinWordConfidence ? Verdict::Doubtful : Verdict::Keep;
}

struct Tagged {
  TextObservation observation;
  std::size_t job;
  bool owned;
};

double overlapArea(const geom::Rect &a, const geom::Rect &b) {
  const geom::Rect r = a.intersected(b);
  return r.isNull() ? 0 : r.width() * r.height();
}

// Only lines that share rows can overlap: each line is filed under the bands
// of rows it spans, so a dense page's tens of thousands of lines are
// compared with their neighbours, not with each other.
class RowBands {
public:
  explicit RowBands(const std::vector<Tagged> &lines) {
    for (const Tagged &line : lines)
      if (!line.observation.bounds.isNull())
        top_ = std::min(top_, line.observation.bounds.minY());
    for (std::size_t i = 0; i < lines.size(); ++i) {
      const geom::Rect &b = lines[i].observation.bounds;
      if (b.isNull())
        continue;
      const auto [first, last] = span(b);
      if (bands_.size() <= last)
        bands_.resize(last + 1);
      for (std::size_t band = first; band <= last; ++band)
        bands_[band].push_back(i);
    }
  }

  // The lines that may overlap `bounds`, in the order they were given.
  std::vector<std::size_t> near(const geom::Rect &bounds) const {
    std::vector<std::size_t> found;
    if (bounds.isNull())
      return found;
    const auto [first, last] = span(bounds);
    for (std::size_t band = first; band <= last && band < bands_.size(); ++band)
      found.insert(found.end(), bands_[band].begin(), bands_[band].end());
    std::sort(found.begin(), found.end());
    found.erase(std::unique(found.begin(), found.end()), found.end());
    return found;
  }

private:
  static constexpr double kBandHeight = 32;
  std::pair<std::size_t, std::size_t> span(const geom::Rect &b) const {
    return {std::size_t((b.minY() - top_) / kBandHeight), std::size_t((b.maxY() - top_) / kBandHeight)};
  }
  double top_ = std::numeric_limits<double>::max();
  std::vector<std::vector<std::size_t>> bands_;
};

// Lines read twice (by two jobs over the same pixels) keep the surer reading.
// A job's line outside its core stands in for one the owning job missed (the
// engine's layout of a strip can lose a line that its neighbour reads whole),
// and goes where any other job's line overlaps it.
std::vector<TextObservation> merge(std::vector<Tagged> lines) {
  const RowBands bands(lines);
  std::vector<bool> dropped(lines.size());
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].owned)
      continue;
    for (const std::size_t j : bands.near(lines[i].observation.bounds)) {
      dropped[i] =
          lines[i].job != lines[j].job && overlapArea(lines[i].observation.bounds, lines[j].observation.bounds) > 0;
      if (dropped[i])
        break;
    }
  }
  for (std::size_t i = 0; i < lines.size(); ++i) {
    for (const std::size_t j : bands.near(lines[i].observation.bounds)) {
      if (dropped[i])
        break;
      if (j <= i || dropped[j] || lines[i].job == lines[j].job)
        continue;
      const geom::Rect &a = lines[i].observation.bounds, &b = lines[j].observation.bounds;
      const double smaller = std::min(a.width() * a.height(), b.width() * b.height());
      if (overlapArea(a, b) <= 0.5 * smaller)
        continue;
      if (lines[j].observation.confidence > lines[i].observation.confidence)
        dropped[i] = true;
      else
        dropped[j] = true;
    }
  }
  std::vector<TextObservation> out;
  for (std::size_t i = 0; i < lines.size(); ++i)
    if (!dropped[i])
      out.push_back(std::move(lines[i].observation));
  return out;
}

} // namespace

struct TesseractTextRecognizer::Job {
  std::shared_ptr<const GrayImage> buffer;
  QPoint origin;                   // the buffer's top-left in the image
  int scale = 1;                   // buffer pixels per image pixel
  int top = 0, bottom = 0;         // rows of the buffer to read
  int coreTop = 0, coreBottom = 0; // image rows whose lines this job keeps
};

namespace {

// The row within `reach` of `y` that crosses the fewest glyph edges, the
// nearest of equals: strips cut there, between lines, not through one (a
// line cut at a strip's edge is misread, and can spoil the next line too).
int quietRowNear(const GrayImage &gray, int y, int reach) {
  int best = y, fewest = std::numeric_limits<int>::max();
  for (int d = 0; d <= reach; ++d) {
    for (const int row : {y - d, y + d}) {
      if (row < 0 || row >= gray.height)
        continue;
      const std::uint8_t *p = gray.pixels.data() + std::size_t(row) * gray.width;
      int edges = 0;
      for (int x = 1; x < gray.width; ++x)
        edges += std::abs(int(p[x]) - int(p[x - 1])) > kTextContrast / 2;
      if (edges < fewest) {
        fewest = edges;
        best = row;
      }
    }
  }
  return best;
}

template <typename JobT>
void addStrips(std::vector<JobT> &jobs, const std::shared_ptr<const GrayImage> &buffer, QPoint origin, int scale) {
  const int height = buffer->height;
  int strips = 1;
  const qint64 area = qint64(buffer->width) * height;
  if (area >= kSplitArea)
    strips = int(std::clamp(std::max<qint64>(kMaxEngines, (area + kMaxStripCoreArea - 1) / kMaxStripCoreArea),
                            qint64(1), std::max<qint64>(1, height / kMinStripCore)));
  std::vector<int> cuts{0};
  for (int k = 1; k < strips; ++k)
    cuts.push_back(quietRowNear(*buffer, height * k / strips, kStripMargin / 2));
  cuts.push_back(height);
  for (int k = 0; k < strips; ++k) {
    const int coreTop = cuts[std::size_t(k)], coreBottom = cuts[std::size_t(k) + 1];
    JobT job;
    job.buffer = buffer;
    job.origin = origin;
    job.scale = scale;
    job.top = k == 0 ? 0 : quietRowNear(*buffer, std::max(0, coreTop - kStripMargin), kStripMargin / 2);
    job.bottom = k == strips - 1
                     ? height
                     : quietRowNear(*buffer, std::min(height - 1, coreBottom + kStripMargin), kStripMargin / 2) + 1;
    job.coreTop = origin.y() + (k == 0 ? std::numeric_limits<int>::min() / 2 : coreTop / scale);
    job.coreBottom = origin.y() + (k == strips - 1 ? std::numeric_limits<int>::max() / 2 : coreBottom / scale);
    jobs.push_back(std::move(job));
  }
}

} // namespace

TesseractTextRecognizer::Options TesseractTextRecognizer::Options::forUser() {
  const QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  Options options;
  options.dataPath = TextRecognitionLanguages::dataFolder(environment);
  options.language = TextRecognitionLanguages::choose(environment, options.dataPath);
  return options;
}

const std::vector<std::pair<const char *, const char *>> &TesseractTextRecognizer::settings() {
  static const std::vector<std::pair<const char *, const char *>> list{
      // Dictionaries off: screenshots are full of names, paths and code that
      // a dictionary would "correct".
      {"load_system_dawg", "0"},
      {"load_freq_dawg", "0"},
      // Table regions are never asked for, and finding them grows far faster
      // than the page: on dense text or a spreadsheet grid it runs for many
      // minutes inside one step that cannot be interrupted.
      {"textord_tabfind_find_tables", "0"},
  };
  return list;
}

TesseractTextRecognizer::TesseractTextRecognizer() : TesseractTextRecognizer(Options{}) {}

TesseractTextRecognizer::TesseractTextRecognizer(Options options)
    : options_(std::move(options)),
      engineCount_(options_.engineCount > 0 ? options_.engineCount
                                            : std::clamp(QThread::idealThreadCount(), 1, kMaxEngines)) {
  engines_.resize(std::size_t(engineCount_));
}

TesseractTextRecognizer::~TesseractTextRecognizer() = default;

tesseract::TessBaseAPI &TesseractTextRecognizer::engine(int index) {
  auto &slot = engines_[std::size_t(index)];
  if (slot)
    return *slot;
  // Tesseract's diagnostics go to a process-wide file setting; engines start
  // on several threads at once, so it is written once, before any of them.
  static std::once_flag quiet;
  std::call_once(quiet, [] { tesseract::TessBaseAPI().SetVariable("debug_file", "/dev/null"); });
  auto api = std::make_unique<tesseract::TessBaseAPI>();
  std::vector<std::string> names, values;
  for (const auto &[name, value] : settings()) {
    names.emplace_back(name);
    values.emplace_back(value);
  }
  const QByteArray path = options_.dataPath.toLocal8Bit();
  const QByteArray language = options_.language.toLatin1();
  if (api->Init(path.isEmpty() ? nullptr : path.constData(), language.constData(), tesseract::OEM_LSTM_ONLY, nullptr, 0,
                &names, &values, false) != 0)
    throw TextRecognitionError(tr("The text recognition data is missing. Install the package tesseract-ocr-eng."));
  api->SetPageSegMode(tesseract::PSM_AUTO);
  slot = std::move(api);
  return *slot;
}

namespace {

// In a wide gap after a word the line recogniser can emit an underscore
// with no flat stroke under it: its box is as tall as the letters. A real
// underscore is a flat bar.
template <typename Iterator> QString withoutPhantomUnderscore(const Iterator &word, QString text) {
  if (text.size() < 2 || !text.endsWith('_'))
    return text;
  Iterator symbol(word);
  while (!symbol.IsAtFinalElement(tesseract::RIL_WORD, tesseract::RIL_SYMBOL))
    if (!symbol.Next(tesseract::RIL_SYMBOL))
      return text;
  int left = 0, top = 0, right = 0, bottom = 0;
  if (!symbol.BoundingBox(tesseract::RIL_SYMBOL, &left, &top, &right, &bottom) || 2 * (bottom - top) <= right - left)
    return text;
  text.chop(1);
  return text;
}

struct WordReading {
  QString text;
  QRect box; // in buffer pixels
  float confidence = 0;
  Verdict verdict = Verdict::Noise;
};

// Every line's words, in reading order, with the baseline of each line.
template <typename Iterator>
void readWords(Iterator &it, int top, std::vector<std::vector<WordReading>> &readings, std::vector<int> &baselines) {
  do {
    if (it.Empty(tesseract::RIL_TEXTLINE))
      continue;
    std::vector<WordReading> &line = readings.emplace_back();
    int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    baselines.push_back(it.Baseline(tesseract::RIL_TEXTLINE, &x1, &y1, &x2, &y2) ? (y1 + y2) / 2 + top : -1);
    do {
      std::unique_ptr<char[]> utf8(it.GetUTF8Text(tesseract::RIL_WORD));
      WordReading word;
      word.text = withoutPhantomUnderscore(it, QString::fromUtf8(utf8 ? utf8.get() : "").trimmed());
      word.confidence = it.Confidence(tesseract::RIL_WORD);
      word.verdict = verdict(word.text, word.confidence);
      int left = 0, wordTop = 0, right = 0, bottom = 0;
      if (word.verdict != Verdict::Noise && it.BoundingBox(tesseract::RIL_WORD, &left, &wordTop, &right, &bottom) &&
          right > left && bottom > wordTop) {
        word.box = QRect(QPoint(left, wordTop + top), QPoint(right - 1, bottom - 1 + top));
        line.push_back(std::move(word));
      }
      if (it.IsAtFinalElement(tesseract::RIL_TEXTLINE, tesseract::RIL_WORD))
        break;
    } while (it.Next(tesseract::RIL_WORD));
  } while (it.Next(tesseract::RIL_TEXTLINE));
}

// The engine reads code poorly where identifiers hold underscores: it
// drops them, so `__int64_t;` comes back as "int64" and "t;", and a word's
// box often spans trailing underscores its text lacks. An underscore is a
// flat bar low in the line, alone in its columns; found beside or inside a
// word's box, it is put back into the text, joining the words it links.
// A bar that runs on under the letters is an underline and is left alone.
class UnderscoreBars {
public:
  UnderscoreBars(const GrayImage &buffer, const std::vector<WordReading *> &words, int baseline) : buffer_(buffer) {
    std::vector<double> pitches;
    top_ = std::numeric_limits<int>::max();
    for (const WordReading *word : words) {
      top_ = std::min(top_, word->box.top());
      if (word->text.size() >= 3 && !word->text.contains('_'))
        pitches.push_back(double(word->box.width()) / double(word->text.size()));
    }
    if (pitches.empty())
      return;
    std::sort(pitches.begin(), pitches.end());
    pitch_ = pitches[pitches.size() / 2];
    // Below the baseline, where letters have only descenders: the foot of
    // an L or a 2 sits on it.
    barTop_ = baseline + 1;
    barBottom_ = std::min(buffer.height - 1, baseline + std::max(2, int(0.6 * pitch_)));
  }

  bool usable() const { return pitch_ >= 4 && barTop_ > top_ && barBottom_ >= barTop_; }
  double pitch() const { return pitch_; }

  // Whether column x holds a bar and nothing above it.
  bool barAt(int x) const {
    if (x < 0 || x >= buffer_.width)
      return false;
    int background = 0;
    for (int y = top_; y <= barBottom_; ++y)
      background = std::max(background, int(buffer_.at(x, y)));
    const auto ink = [&](int y) { return int(buffer_.at(x, y)) < background - kTextContrast; };
    bool bar = false;
    for (int y = barTop_; y <= barBottom_ && !bar; ++y)
      bar = ink(y);
    if (!bar)
      return false;
    for (int y = top_; y < barTop_ - 1; ++y)
      if (ink(y))
        return false;
    return true;
  }

  // Length of the bar running from x in direction step (+1 or -1): it may
  // start up to half a pitch away (the ink of the glyph beside it stops short
  // of its cell), and gaps of a pixel or two (joins of glyphs) are bridged.
  struct Run {
    int reach = 0;  // from x to the bar's far end
    int extent = 0; // the bar itself
  };
  // A bar inside a word's box starts right at its edge (`strict`).
  Run runFrom(int x, int step, int limit, bool strict = false) const {
    Run run;
    int first = -1, missing = 0;
    for (int i = 0; i < limit; ++i) {
      if (barAt(x + step * i)) {
        if (first < 0)
          first = i;
        run = {i + 1, i + 1 - first};
        missing = 0;
      } else if (++missing > (first >= 0 ? 2 : strict ? 0 : int(pitch_ / 2))) {
        break;
      }
    }
    return run;
  }

  // Whether ink runs under (nearly) all of a word's letters: an underline.
  // Under an identifier's letters there is nothing but a descender here
  // and there.
  bool underlined(const QRect &box) const {
    int inked = 0;
    for (int x = std::max(0, box.left()); x <= std::min(buffer_.width - 1, box.right()); ++x) {
      int background = 0;
      for (int y = top_; y <= barBottom_; ++y)
        background = std::max(background, int(buffer_.at(x, y)));
      for (int y = barTop_; y <= barBottom_; ++y) {
        if (int(buffer_.at(x, y)) < background - kTextContrast) {
          ++inked;
          break;
        }
      }
    }
    return box.width() > 0 && 10 * inked >= 8 * box.width();
  }

  int count(int length) const { return length < pitch_ / 2 ? 0 : std::max(1, int(std::lround(length / pitch_))); }

private:
  const GrayImage &buffer_;
  double pitch_ = 0;
  int top_ = 0, barTop_ = 0, barBottom_ = -1;
};

qsizetype leadingUnderscores(const QString &text) {
  return std::find_if(text.begin(), text.end(), [](QChar c) { return c != '_'; }) - text.begin();
}

qsizetype trailingUnderscores(const QString &text) {
  return std::find_if(text.rbegin(), text.rend(), [](QChar c) { return c != '_'; }) - text.rbegin();
}

void restoreUnderscores(const GrayImage &buffer, std::vector<WordReading> &line, int baseline) {
  std::vector<WordReading *> words;
  for (WordReading &word : line)
    if (word.verdict != Verdict::Noise && !word.text.isEmpty() && leadingUnderscores(word.text) < word.text.size())
      words.push_back(&word);
  const UnderscoreBars bars(buffer, words, baseline);
  if (!bars.usable())
    return;
  const std::size_t n = words.size();
  const int reach = int(std::ceil(4 * bars.pitch()));
  const int margin = std::max(2, int(bars.pitch() / 4));
  // Bars inside a box, at its start and its end; a bar under (nearly) the
  // whole word is an underline, and the word is left as it is.
  std::vector<UnderscoreBars::Run> inLeft(n), inRight(n);
  std::vector<bool> underlined(n);
  for (std::size_t i = 0; i < n; ++i) {
    const QRect &box = words[i]->box;
    underlined[i] = bars.underlined(box);
    if (!underlined[i] && !words[i]->text.startsWith('_'))
      inLeft[i] = bars.runFrom(box.left(), 1, box.width(), true);
    if (!underlined[i] && !words[i]->text.endsWith('_'))
      inRight[i] = bars.runFrom(box.right(), -1, box.width() - inLeft[i].reach, true);
  }
  std::vector<qsizetype> lead(n), trail(n);
  std::vector<bool> joinsNext(n);
  for (std::size_t i = 0; i < n; ++i) {
    if (underlined[i])
      continue;
    const QRect &box = words[i]->box;
    const UnderscoreBars::Run before = bars.runFrom(box.left() - 1, -1, reach);
    const int gap = i > 0 ? box.left() - words[i - 1]->box.right() - 1 : reach + margin;
    // A bar filling the gap to the word before, but for less than a space
    // (glyphs' ink stops short of their cells, an underscore's bar does
    // not), links the two.
    if (i > 0 && !underlined[i - 1] && bars.count(before.extent) > 0 && gap - before.reach < 0.7 * bars.pitch()) {
      joinsNext[i - 1] = true;
      trail[i - 1] = 0;
      // Boxes may overlap, and a bar may run on into the box before.
      const int between =
          std::max(inRight[i - 1].extent + std::clamp(gap, 0, before.extent), before.extent) + inLeft[i].extent;
      const qsizetype have = trailingUnderscores(words[i - 1]->text) + leadingUnderscores(words[i]->text);
      lead[i] = std::max<qsizetype>(0, std::max(1, bars.count(between)) - have);
    } else if (!words[i]->text.startsWith('_')) {
      lead[i] = bars.count(inLeft[i].extent + (before.reach < gap - margin ? before.extent : 0));
    }
    if (!words[i]->text.endsWith('_'))
      trail[i] = bars.count(inRight[i].extent + bars.runFrom(box.right() + 1, 1, reach).extent);
  }
  for (std::size_t i = 0; i < n; ++i)
    words[i]->text = QString(lead[i], '_') + words[i]->text + QString(trail[i], '_');
  // Linked words become one.
  for (std::size_t i = n; i-- > 1;) {
    if (!joinsNext[i - 1])
      continue;
    WordReading &left = *words[i - 1], &right = *words[i];
    left.text += right.text;
    left.box = left.box.united(right.box);
    left.confidence = std::min(left.confidence, right.confidence);
    if (right.verdict == Verdict::Doubtful)
      left.verdict = Verdict::Doubtful;
    right.verdict = Verdict::Noise;
  }
  // Bars read as words of their own are now part of their neighbours.
  for (WordReading &word : line)
    if (!word.text.isEmpty() && leadingUnderscores(word.text) == word.text.size())
      word.verdict = Verdict::Noise;
}

} // namespace

// A doubtful word is confirmed when, read alone as one word with a little of
// the page around it, it reads the same and confidently. Chrome read as
// letters rarely survives this: alone it reads differently or stays unsure.
std::optional<float> TesseractTextRecognizer::confirm(tesseract::TessBaseAPI &api, const Job &job, const QString &text,
                                                      const QRect &box) const {
  const GrayImage &buffer = *job.buffer;
  const int pad = std::max(4, box.height() / 3);
  const int x0 = std::max(0, box.left() - pad), x1 = std::min(buffer.width, box.right() + 1 + pad);
  const int y0 = std::max(job.top, box.top() - pad), y1 = std::min(job.bottom, box.bottom() + 1 + pad);
  if (x1 <= x0 || y1 <= y0)
    return std::nullopt;
  api.SetPageSegMode(tesseract::PSM_SINGLE_WORD);
  api.SetImage(buffer.pixels.data() + std::size_t(y0) * buffer.width + x0, x1 - x0, y1 - y0, 1, buffer.width);
  api.SetSourceResolution(kResolution);
  const bool read = api.Recognize(nullptr) == 0;
  std::unique_ptr<char[]> utf8(read ? api.GetUTF8Text() : nullptr);
  const int confidence = read ? api.MeanTextConf() : 0;
  api.SetPageSegMode(tesseract::PSM_AUTO);
  if (!utf8 || QString::fromUtf8(utf8.get()).trimmed() != text || confidence < kMinWordConfidence)
    return std::nullopt;
  return float(confidence);
}

std::vector<TesseractTextRecognizer::Line> TesseractTextRecognizer::read(tesseract::TessBaseAPI &api, const Job &job,
                                                                         const std::atomic<bool> &cancelled) const {
  const GrayImage &buffer = *job.buffer;
  api.SetImage(buffer.pixels.data() + std::size_t(job.top) * buffer.width, buffer.width, job.bottom - job.top, 1,
               buffer.width);
  api.SetSourceResolution(kResolution);
  tesseract::ETEXT_DESC monitor;
  monitor.cancel = [](void *cancelled, int) { return static_cast<const std::atomic<bool> *>(cancelled)->load(); };
  monitor.cancel_this = const_cast<std::atomic<bool> *>(&cancelled);
  if (api.Recognize(&monitor) != 0)
    throw TextRecognitionError(tr("The text recognition engine could not read the image."));
  stopIfCancelled(cancelled);
  // All of the page's words are taken before any is read again: a new
  // recognition ends the page's results.
  std::vector<std::vector<WordReading>> readings;
  std::vector<int> baselines; // buffer rows, one per line of readings
  {
    std::unique_ptr<tesseract::ResultIterator> it(api.GetIterator());
    if (!it)
      return {};
    // Tesseract's reading-order iterator walks a whole line again for each
    // step it takes, which on a dense page costs minutes; a page read in no
    // right-to-left language runs left to right, where the page's own order
    // is the reading order.
    if (TextRecognitionLanguages::readsRightToLeft(options_.language)) {
      readWords(*it, job.top, readings, baselines);
    } else {
      tesseract::LTRResultIterator inPageOrder(*it);
      readWords(inPageOrder, job.top, readings, baselines);
    }
  }
  for (std::size_t l = 0; l < readings.size(); ++l)
    if (baselines[l] >= 0)
      restoreUnderscores(buffer, readings[l], baselines[l]);
  for (auto &line : readings) {
    for (WordReading &word : line) {
      if (word.verdict != Verdict::Doubtful || cancelled)
        continue;
      if (const auto confidence = confirm(api, job, word.text, word.box)) {
        word.verdict = Verdict::Keep;
        word.confidence = *confidence;
      }
    }
  }
  std::vector<Line> lines;
  const double unit = 1.0 / job.scale;
  const double dx = job.origin.x(), dy = job.origin.y();
  // A line that reaches the edge of the rows read may be cut; only whole
  // lines may stand in for the owning job's.
  const double readTop = dy + (job.top + 2) * unit, readBottom = dy + (job.bottom - 2) * unit;
  for (const auto &words : readings) {
    TextObservation line;
    float confidenceSum = 0;
    for (const WordReading &word : words) {
      if (word.verdict != Verdict::Keep)
        continue;
      const QRect &b = word.box;
      const geom::Rect rect(b.left() * unit + dx, b.top() * unit + dy, (b.width()) * unit, b.height() * unit);
      line.words.push_back({word.text, rect});
      line.bounds = line.bounds.united(rect);
      confidenceSum += word.confidence;
    }
    if (line.words.isEmpty())
      continue;
    const double midY = line.bounds.midY();
    const bool owned = midY >= job.coreTop && midY < job.coreBottom;
    if (!owned && (line.bounds.minY() < readTop || line.bounds.maxY() > readBottom))
      continue;
    line.confidence = confidenceSum / float(line.words.size()) / 100.0f;
    lines.push_back({std::move(line), owned});
  }
  return lines;
}

std::vector<TextObservation> TesseractTextRecognizer::recognize(const QImage &image,
                                                                const std::atomic<bool> &cancelled) {
  if (image.isNull() || image.width() <= 0 || image.height() <= 0)
    return {};
  QMutexLocker lock(&mutex_);
  stopIfCancelled(cancelled);
  auto gray = std::make_shared<GrayImage>(GrayImage::from(image));
  std::vector<Job> jobs;
  const DarkAreas dark(*gray);
  const int scale = dark.enlargement(*gray);
  stopIfCancelled(cancelled);
  for (const DarkAreas::Area &area : dark.areas()) {
    addStrips(jobs, GrayImage::enlarged(dark.inverted(*gray, area), scale),
              area.rect.topLeft() - QPoint(DarkAreas::kFrame, DarkAreas::kFrame), scale);
    stopIfCancelled(cancelled);
  }
  dark.blank(*gray);
  addStrips(jobs, GrayImage::enlarged(std::move(gray), scale), QPoint(0, 0), scale);
  stopIfCancelled(cancelled);

  // Largest first, so that no engine starts a big job when the others are done.
  std::stable_sort(jobs.begin(), jobs.end(), [](const Job &a, const Job &b) {
    return qint64(a.bottom - a.top) * a.buffer->width > qint64(b.bottom - b.top) * b.buffer->width;
  });
  const int threads = std::min<int>(engineCount_, int(jobs.size()));
  std::vector<std::vector<Line>> results(jobs.size());
  std::vector<std::exception_ptr> errors(static_cast<std::size_t>(threads));
  std::atomic<std::size_t> next{0};
  auto work = [&](int index) {
    try {
      limitOpenMpOnThisThread();
      tesseract::TessBaseAPI &api = engine(index);
      // The engine's page and its images go with the last strip it read.
      const auto clear = qScopeGuard([&api] { api.Clear(); });
      for (std::size_t j = next++; j < jobs.size() && !cancelled; j = next++)
        results[j] = read(api, jobs[j], cancelled);
    } catch (...) {
      errors[std::size_t(index)] = std::current_exception();
      next = jobs.size();
    }
  };
  std::vector<std::thread> helpers;
  for (int k = 1; k < threads; ++k)
    helpers.emplace_back(work, k);
  work(0);
  for (auto &helper : helpers)
    helper.join();
  if (cancelled) {
    // The engines' working memory has grown to the page's lines, and the
    // page was not wanted: new engines are made for the next one.
    for (auto &api : engines_)
      api.reset();
    stopIfCancelled(cancelled);
  }
  for (const auto &error : errors)
    if (error)
      std::rethrow_exception(error);

  std::vector<Tagged> lines;
  for (std::size_t j = 0; j < results.size(); ++j)
    for (auto &line : results[j])
      lines.push_back({std::move(line.observation), j, line.owned});
  return merge(std::move(lines));
}

} // namespace crel
