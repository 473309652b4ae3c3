// Interfac/Region.cpp: the Region Module. Lisp holds a region through a pointer of kind "region"
// whose word 1 is the index of the native Region in the region table (0 once disposed of). The
// collector disposes of regions that became unreachable.
#include "Interfac/Geometry.h"

#include "Kernel/Error.h"
#include "Kernel/Memory.h"
#include "Kernel/Module.h"
#include "Kernel/Number.h"
#include "Kernel/Symbol.h"

#include <memory>
#include <vector>

namespace {

// Entry 0 is never used, so that a cleared pointer names no region. Freed entries are reused.
std::vector<std::unique_ptr<Region>> gRegions(1);
std::vector<uint32_t> gFreeEntries;

uint32_t addRegion(Region&& region)
{
    uint32_t index;
    if (!gFreeEntries.empty()) {
        index = gFreeEntries.back();
        gFreeEntries.pop_back();
    } else {
        index = uint32_t(gRegions.size());
        gRegions.emplace_back();
    }
    gRegions[index] = std::make_unique<Region>(std::move(region));
    return index;
}

class RegionKind final : public PointerKind {
public:
    RegionKind() : PointerKind("region") {}
    void dispose(Value pointer) override
    {
        uint32_t index = pointerAddress(pointer);
        if (index != 0 && index < gRegions.size() && gRegions[index]) {
            gRegions[index].reset();
            gFreeEntries.push_back(index);
        }
        cellOf(pointer).cdr = 0;
    }
    bool disposeWhenUnreachable() override { return true; }
} gRegionKind;

} // namespace

bool isRegionPointer(Value v) { return isPointer(v) && pointerKindIndex(v) == gRegionKind.index(); }

Value makeRegion(Region&& region)
{
    // The pointer first: should making it fail, no table entry is left behind.
    Value pointer = makePointer(gRegionKind, 0);
    cellOf(pointer).cdr = addRegion(std::move(region));
    return pointer;
}

Region& toRegion(Value region)
{
    if (!isRegionPointer(region))
        raiseWrongType(region);
    uint32_t index = pointerAddress(region);
    if (index == 0 || index >= gRegions.size() || !gRegions[index])
        raiseWrongType(region);
    return *gRegions[index];
}

size_t liveRegionCount() { return gRegions.size() - 1 - gFreeEntries.size(); }

namespace {

Value newRgn() { return makeRegion(Region()); }

Value disposeRgn(Value region)
{
    toRegion(region);
    gRegionKind.dispose(region);
    return kNoValue;
}

Value copyRgn(Value source, Value destination)
{
    Region copy = toRegion(source).copy();
    toRegion(destination) = std::move(copy);
    return kNoValue;
}

Value setEmptyRgn(Value region)
{
    toRegion(region).setEmpty();
    return kNoValue;
}

Value setRectRgn(Value region, Value left, Value top, Value right, Value bottom)
{
    Region& r = toRegion(region);
    r.setRect({ toInt16(left), toInt16(top), toInt16(right), toInt16(bottom) });
    return kNoValue;
}

Value rectRgn(Value region, Value rect)
{
    Region& r = toRegion(region);
    r.setRect(toRect(rect));
    return kNoValue;
}

Value offsetRgn(Value region, Value dx, Value dy)
{
    Region& r = toRegion(region);
    r.offset(toInt16(dx), toInt16(dy));
    return kNoValue;
}

// The destination may be one of the operands: the result is made aside and moved in.
template <Region (Region::*operation)(const Region&) const>
Value combine(Value a, Value b, Value destination)
{
    Region result = (toRegion(a).*operation)(toRegion(b));
    toRegion(destination) = std::move(result);
    return kNoValue;
}

Value rectInRgnP(Value rect, Value region)
{
    Rect r = toRect(rect);
    return boolValue(toRegion(region).intersects(r));
}

Value equalRgn(Value a, Value b) { return boolValue(toRegion(a) == toRegion(b)); }
Value emptyRgn(Value region) { return boolValue(toRegion(region).isEmpty()); }
Value createOvalRgn(Value rect) { return makeRegion(Region::ellipse(toRect(rect))); }

Value getRgnRect(Value region, Value selector) { return selectFromRect(toRegion(region).bounds(), selector); }

Value ptInRgn(Value point, Value region)
{
    Point p = toPoint(point);
    return boolValue(toRegion(region).contains(p));
}

class RegionModule final : public Module {
public:
    RegionModule() : Module("Region") {}
    void start() override
    {
        Module::start();
        defineFunction0("newrgn", newRgn);
        defineFunction1("disposergn", disposeRgn);
        defineFunction2("copyrgn", copyRgn);
        defineFunction1("setemptyrgn", setEmptyRgn);
        defineFunction5("setrectrgn", setRectRgn);
        defineFunction2("rect-rgn", rectRgn);
        defineFunction2("rect-region", rectRgn);
        defineFunction3("offsetrgn", offsetRgn);
        defineFunction3("sectrgn", combine<&Region::intersection>);
        defineFunction3("unionrgn", combine<&Region::unionWith>);
        defineFunction3("diffrgn", combine<&Region::difference>);
        defineFunction3("xorrgn", combine<&Region::exclusiveOrWith>);
        defineFunction2("rect-in-rgn?", rectInRgnP);
        defineFunction2("equalrgn", equalRgn);
        defineFunction1("emptyrgn", emptyRgn);
        defineFunction1("create-oval-rgn", createOvalRgn);
        defineFunction2("get-rgn-rect", getRgnRect);
        defineFunction2("ptinrgn", ptInRgn);
    }
    void stop() override
    {
        // Pointer cells die with the memory areas; their regions go here.
        gRegions.clear();
        gRegions.resize(1);
        gFreeEntries.clear();
        Module::stop();
    }
} theRegionModule;

} // namespace
