#include "RecognizedText.h"

#include "platform/base/Translate.h"
#include "platform/clipboard/Pasteboard.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace crel {

namespace {

// Earliest word with the smallest distance; `words` must not be empty.
template <typename Distance> const RecognizedWord &nearest(const QList<RecognizedWord> &words, Distance distance) {
  const RecognizedWord *best = &words.front();
  double bestDistance = distance(*best);
  for (const RecognizedWord &word : words) {
    const double d = distance(word);
    if (d < bestDistance) {
      best = &word;
      bestDistance = d;
    }
  }
  return *best;
}

geom::Rect lineRect(const QList<RecognizedWord> &words, int line) {
  geom::Rect rect;
  for (const RecognizedWord &word : words)
    if (word.line == line)
      rect = rect.united(word.rect);
  return rect;
}

} // namespace

std::optional<RecognizedWord> RecognizedText::wordAt(QPointF point, double tolerance) const {
  QList<RecognizedWord> candidates;
  for (const RecognizedWord &word : words)
    if (word.rect.insetBy(-tolerance, -tolerance).contains(point))
      candidates.push_back(word);
  if (candidates.isEmpty())
    return std::nullopt;
  return nearest(candidates, [&](const RecognizedWord &w) {
    return std::hypot(w.rect.midX() - point.x(), w.rect.midY() - point.y());
  });
}

QList<RecognizedWord> RecognizedText::selection(QPointF start, QPointF end) const {
  const std::optional<RecognizedWord> s = wordAt(start, 4);
  if (!s)
    return {};
  std::optional<RecognizedWord> e = wordAt(end, 12);
  if (!e) {
    // Off by a line costs three times as much as off by the same sideways.
    e = nearest(words, [&](const RecognizedWord &w) {
      return std::hypot(w.rect.midX() - end.x(), 3 * (w.rect.midY() - end.y()));
    });
  }
  QList<RecognizedWord> result;
  if (s->line == e->line) {
    const int low = std::min(s->order, e->order), high = std::max(s->order, e->order);
    for (const RecognizedWord &word : words)
      if (word.line == s->line && word.order >= low && word.order <= high)
        result.push_back(word);
    return result;
  }
  const bool downward = s->rect.midY() < e->rect.midY();
  const RecognizedWord &first = downward ? *s : *e;
  const RecognizedWord &last = downward ? *e : *s;
  const geom::Rect firstLine = lineRect(words, first.line), lastLine = lineRect(words, last.line);
  const double left = std::max(firstLine.minX(), lastLine.minX());
  const double right = std::min(firstLine.maxX(), lastLine.maxX());
  for (const RecognizedWord &word : words) {
    bool chosen;
    if (word.line == first.line)
      chosen = word.order >= first.order;
    else if (word.line == last.line)
      chosen = word.order <= last.order;
    else
      chosen = first.rect.midY() < word.rect.midY() && word.rect.midY() < last.rect.midY() &&
               left <= word.rect.midX() && word.rect.midX() <= right;
    if (chosen)
      result.push_back(word);
  }
  return result;
}

QList<geom::Rect> RecognizedText::rectangles(const QList<RecognizedWord> &words) {
  std::map<int, geom::Rect> lines;
  for (const RecognizedWord &word : words)
    lines[word.line] = lines[word.line].united(word.rect);
  QList<geom::Rect> result;
  for (const auto &[line, rect] : lines)
    result.push_back(rect.insetBy(-2, -2));
  return result;
}

QString RecognizedText::string(const QList<RecognizedWord> &words) {
  std::map<int, QList<RecognizedWord>> lines;
  for (const RecognizedWord &word : words)
    lines[word.line].push_back(word);
  QStringList texts;
  for (auto &[line, lineWords] : lines) {
    std::stable_sort(lineWords.begin(), lineWords.end(),
                     [](const RecognizedWord &a, const RecognizedWord &b) { return a.order < b.order; });
    QStringList parts;
    for (const RecognizedWord &word : lineWords)
      parts.push_back(word.text);
    texts.push_back(parts.join(QLatin1Char(' ')));
  }
  return texts.join(QLatin1Char('\n'));
}

RecognizedText RecognizedText::excludingAreas(const QList<geom::Rect> &hiddenAreas) const {
  RecognizedText visible;
  for (const RecognizedWord &word : words)
    if (std::none_of(hiddenAreas.begin(), hiddenAreas.end(),
                     [&](const geom::Rect &area) { return word.rect.intersects(area); }))
      visible.words.push_back(word);
  return visible;
}

QList<RecognizedWord> RecognizedText::keepingAvailable(const QList<RecognizedWord> &selected) const {
  QList<RecognizedWord> kept;
  for (const RecognizedWord &word : selected)
    if (words.contains(word))
      kept.push_back(word);
  return kept;
}

bool RecognizedText::copy(const QList<RecognizedWord> &selected, Pasteboard &pasteboard) const {
  const QList<RecognizedWord> kept = keepingAvailable(selected);
  if (kept.isEmpty())
    return false;
  pasteboard.clear();
  return pasteboard.writeText(string(kept));
}

QString RecognizedText::copiedStatus() { return tr("Copied selected text."); }

} // namespace crel
