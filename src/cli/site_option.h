#pragma once
// --site FILE on the commands that check pagers against a site's paging system (page check,
// fleet check, write --review): the profile read once, and the rows that would not hear it.

#include <QCommandLineOption>
#include <cstdio>
#include <optional>

#include "cli/command_line.h"
#include "core/paging/site_profile.h"

namespace m84 {

QCommandLineOption SiteOption();

// The profile --site names, or no profile without the option; false, with the reason on standard
// error, when it cannot be read.
struct SiteChoice {
  bool read = true;
  std::optional<paging::SiteProfile> site;
};
SiteChoice ChosenSite(const CommandParser& parser);

// Each row of the pager that would not hear the site, as "WHERE: row 7: ..." (WHERE empty: the
// line alone) on the stream; the number of lines.
int PrintSiteFindings(const paging::SiteProfile& site, const PagerData& data, const QString& where = QString(),
                      FILE* stream = stderr);

}  // namespace m84
