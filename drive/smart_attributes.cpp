#include "drive/smart_attributes.h"

#include <climits>

namespace ds {

namespace {

constexpr std::size_t kFirstSlot = 2;
constexpr std::size_t kSlotSize = 12;
// The data sector holds 30 attribute slots (bytes 2-361); byte 362 on is the off-line
// collection and self-test area, whose bytes must not be read as attributes.
constexpr std::size_t kDataSlotsEnd = 362;
constexpr std::size_t kSignatureOffset = 400;

bool AlreadyListed(const SmartSnapshot& snapshot, std::uint8_t id) {
  for (const SmartAttribute& attribute : snapshot.attributes) {
    if (attribute.id == id)
      return true;
  }
  return false;
}

void TakeSummary(const SmartAttribute& attribute, SmartSnapshot* s) {
  switch (attribute.id) {
    case 9:
      s->powerOnHours = attribute.raw;
      break;
    case 12:
      s->powerCycles = attribute.raw;
      break;
    case 167:
      s->attr167Raw = attribute.raw;
      break;
    case 5:
      s->reallocatedRaw = attribute.raw;
      break;
    case 161:
      s->attr161Raw = attribute.raw;
      break;
    case 163:
      s->attr163Raw = attribute.raw;
      break;
    case 168:
      s->peCycleLimit = PeCycleLimitFromRaw(attribute.raw);
      break;
    case 170:
      if (s->modelSeries != 0)
        s->attr170Raw = attribute.raw;
      break;
    case 196:
      if (s->modelSeries != 0)
        s->reallocatedRaw = attribute.raw;
      break;
    case 231:
      if (s->modelSeries != 0)
        s->attr231Raw = attribute.raw;
      break;
    default:
      break;
  }
}

}  // namespace

int PeCycleLimitFromRaw(std::uint64_t raw) {
  if (raw == 0 || raw > static_cast<std::uint64_t>(INT_MAX))
    return kDefaultPeCycleLimit;
  return static_cast<int>(raw);
}

void ApplyThresholdSector(const SmartSector& sector, std::array<std::uint8_t, 256>* thresholdById) {
  for (std::size_t offset = kFirstSlot; offset + 1 < sector.size(); offset += kSlotSize) {
    std::uint8_t id = sector[offset];
    if (id != 0)
      (*thresholdById)[id] = sector[offset + 1];
  }
}

void ApplyControllerSignature(const SmartSector& dataSector, SmartSnapshot* snapshot) {
  const std::uint8_t* signature = dataSector.data() + kSignatureOffset;
  if (signature[0] != 'S' || signature[1] != 'M')
    return;
  snapshot->smartSignature = true;
  snapshot->modelSeries = 0;
  bool is2246 =
      signature[2] == '2' && signature[3] == '2' && signature[4] == '4' && signature[5] == '6';
  snapshot->isSm2246 = is2246;
  snapshot->isOtherSm = !is2246;
}

void ListSmartAttributes(const SmartSector& dataSector, const AttributeTable& table,
                         SmartSnapshot* snapshot) {
  for (const AttributeDescription& entry : table) {
    for (std::size_t offset = kFirstSlot; offset < kDataSlotsEnd; offset += kSlotSize) {
      const std::uint8_t* slot = dataSector.data() + offset;
      std::uint8_t id = slot[0];
      std::uint8_t current = slot[3];
      std::uint8_t worst = slot[4];
      if (id == 0 || id != entry.id || (current == 0 && worst == 0))
        continue;
      if (AlreadyListed(*snapshot, id))
        continue;

      SmartAttribute attribute;
      attribute.id = id;
      attribute.name = entry.desc;
      attribute.flags = static_cast<std::uint64_t>(slot[1] | (slot[2] << 8));
      attribute.current = current;
      attribute.worst = worst;
      attribute.threshold = snapshot->thresholdById[id];
      if (id == 194) {
        attribute.raw = slot[5];
        snapshot->temperature = slot[5];
      } else {
        // Six raw bytes and the reserved byte after them, least significant first.
        for (int i = 6; i >= 0; --i)
          attribute.raw = (attribute.raw << 8) | slot[5 + i];
      }
      TakeSummary(attribute, snapshot);
      snapshot->attributes.push_back(std::move(attribute));
    }
  }
  snapshot->attributeCount = static_cast<int>(snapshot->attributes.size());
}

}  // namespace ds
