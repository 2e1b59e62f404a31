#pragma once
// A site profile: what a site's paging system sends, written by the dealer as a small YAML file,
//
//   name: North Hospital
//   frequency: 457.575        # MHz
//   baud: 1200                # 512, 1200 or 2400
//   polarity: standard        # or negative
//   capcodes:                 # the capcodes it sends, by name
//     Ames, J: 1200100
//     All call: 1200000
//
// and the rows of a programmed pager that would not hear it: "row 7: listens at 512 baud; the
// site sends at 1200". Every key may be left out; what is left out is not checked.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

#include "core/image/pager_image.h"
#include "core/paging/page_check.h"
#include "core/result.h"

namespace m84::paging {

struct SiteCapcode {
  QString name;
  int capcode = 0;
};

struct SiteProfile {
  QString name;
  Transmitter transmitter;
  std::vector<SiteCapcode> capcodes;  // as the file lists them

  // The capcode of that name, or nothing.
  std::optional<int> CapcodeNamed(const QString& name) const;
  // The name the site gives the capcode, or an empty text.
  QString NameOf(int capcode) const;
};

// The profile in the file, or a failure whose reason names the file, line and column and what
// is wrong there (an unknown key with the keys there are, a value that is none of the accepted).
Result<SiteProfile> LoadSiteProfile(const QString& path);
Result<SiteProfile> ReadSiteProfile(const QByteArray& text, const QString& file);

// A line for every reason an enabled row of the pager would not hear the site: the receiver
// differs, or the site does not send the row's capcode. Empty when every enabled row hears it.
QStringList SiteFindings(const PagerData& data, const SiteProfile& site);

}  // namespace m84::paging
