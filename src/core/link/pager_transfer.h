#pragma once
// A pager transfer with the pages around it, as the command line, the batch and the tests run it
// on one thread: the pages store into the image before a write, and load from it after a read or
// a write that gave the image back. The window does the same in two halves, the transfer on a
// thread of its own between them.
//
//   const WriteOptions options{KeepPagerSerialNumber(pages, chosen)};
//   const WriteResult written = WriteFromPages(link, data, pages, options, host);

#include "core/link/adapter_link.h"
#include "core/pages/model_page_set.h"

namespace m84 {

// The pager read into data's image and the pages loaded from it; data and the pages stay as
// they are on a failure.
Result<PagerImage> ReadIntoPages(AdapterLink& link, PagerData& data, PageExchange& pages, TransferHost& host);

// The pages stored into data, the image written and verified, then the kept serial number put
// into data; the pages load once for the kept serial number and once more when the write reached
// its verify, as the window's do.
WriteResult WriteFromPages(AdapterLink& link, PagerData& data, PageExchange& pages, const WriteOptions& options,
                           TransferHost& host);

}  // namespace m84
