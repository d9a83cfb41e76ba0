#pragma once
// robots.txt, followed while the FollowRobots setting asks: fetched once per host (scheme, host and
// port) before the crawl's first request to it and kept for the run, a resume fetching it again;
// read for our product token; its Crawl-delay widens the interval between requests to the host. Its
// requests are neither counted, logged nor saved. At most 500 KiB are read and five redirects
// followed; an answer of 4xx (or a sixth redirect) allows everything, one of 5xx or none at all
// allows nothing on that host.

#include "crawl/crawlcontext.h"
#include "crawl/transport.h"

// Learns the rules of address's host unless they are known; false when a stop came first.
bool LearnRobots(CrawlContext& context, const QString& address);
// Fetches the robots.txt of address's host into body, whatever FollowRobots says.
OwnFetch FetchRobotsText(CrawlContext& context, const QString& address, QByteArray& body);
// Tells in the failure report, once a run, that address's host asks for a Crawl-delay of more than a
// minute; the crawl keeps it.
void TellLongCrawlDelay(CrawlContext& context, const QString& address);
// Whether the crawl may request address: always when robots.txt is not followed, never while the
// rules of its host are not known.
bool RobotsAllow(const CrawlState& state, const QString& address);
// Whether the known rules refuse address; a refusal is written to the failure report.
bool RobotsRefuse(CrawlContext& context, const QString& address);
