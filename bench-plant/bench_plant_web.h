#pragma once
// quarn-bench --plant-web: quarn-plant-web (a child process) over `rows`
// rows from 20 stations over 30 days on a PostgreSQL server of the bench's
// own (fsync on), read in a real headless chromium:
//   - the first page complete (navigation start to the figures drawn), its
//     view kept by the service, and a selection no page asked for before
//     (its first read included);
//   - a push's commit to the figures drawn on the browser's page, median
//     and 95th percentile of 20 pushes, with that one page open and with
//     99 more pages open (protocol clients as a page is: an event stream of
//     their own, the view fetched at each "figures"; their commit-to-view
//     times counted too);
//   - the service's resident memory and threads with 200 open streams, and
//     its CPU over a minute with the 200 idle (beats only).

namespace bench {

int runPlantWebBench(bool checkTargets, int rows);

}  // namespace bench
