#pragma once

#include <QSizeF>

#include <optional>

namespace crel {

// Something a row lays out: answers what size it takes for a proposed width
// and height, where an absent value means "unspecified" (its ideal size).
class ProposalSized {
public:
  virtual ~ProposalSized() = default;
  virtual QSizeF sizeFor(std::optional<double> width, std::optional<double> height) const = 0;
};

} // namespace crel
