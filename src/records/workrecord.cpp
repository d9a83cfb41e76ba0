#include "records/workrecord.h"

QStringList WorkRecord::toFields() const
{
    return { address, pageText, lowerPageText, directoryAddress, siteRoot, depth, referrerChain, contentType,
        contentLength, entityTag, acceptRanges };
}

WorkRecord WorkRecord::fromFields(const QStringList& fields)
{
    WorkRecord r;
    r.address = fields.value(0);
    r.pageText = fields.value(1);
    r.lowerPageText = fields.value(2);
    r.directoryAddress = fields.value(3);
    r.siteRoot = fields.value(4);
    r.depth = fields.value(5);
    r.referrerChain = fields.value(6);
    r.contentType = fields.value(7);
    r.contentLength = fields.value(8);
    r.entityTag = fields.value(9);
    r.acceptRanges = fields.value(10);
    return r;
}
