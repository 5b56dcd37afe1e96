#include "bml/CBMLPackage.h"

#include <climits>
#include <cstring>

#include "bml/BMLByteOrder.h"
#include "bml/BMLElement.h"
#include "bml/CBMLFieldMap.h"
#include "bml/CBMLRecordSet.h"

CBMLPackage::CBMLPackage() : m_data(nullptr), m_capacity(0), m_length(0), m_cursor(0), m_parent(nullptr)
{
}

void CBMLPackage::Attach(uint8_t* data, uint32_t capacity, uint32_t length, CBMLPackage* parent)
{
    m_data = data;
    m_capacity = capacity;
    m_length = length;
    m_cursor = 0;
    m_parent = parent;
}

void CBMLPackage::Detach()
{
    Attach(nullptr, 0, 0, nullptr);
}

int CBMLPackage::OnWriteAttach()
{
    return 0;
}

int CBMLPackage::OnReadAttach()
{
    return 0;
}

int CBMLPackage::AppendBytes(const void* bytes, uint32_t count)
{
    if (m_data == nullptr || count > Room() || count > INT_MAX)
        return -1;
    std::memcpy(m_data + m_length, bytes, count);
    Commit(count);
    return static_cast<int>(count);
}

int CBMLPackage::AddChild(uint16_t tag, CBMLPackage* child)
{
    if (m_data == nullptr)
        return -1;
    return AddPackage(tag, child);
}

boost::shared_ptr<CBMLRecordSet> CBMLPackage::AddRecordSet(uint16_t tag)
{
    boost::shared_ptr<CBMLRecordSet> set(new CBMLRecordSet);
    AddRecordSet(tag, set.get());
    return set;
}

int CBMLPackage::AddRecordSet(uint16_t tag, CBMLRecordSet* set)
{
    return AddPackage(tag, set);
}

boost::shared_ptr<CBMLPackage> CBMLPackage::AddPackage(uint16_t tag)
{
    if (m_data == nullptr || Room() < BMLElement::HeaderLength)
        return boost::shared_ptr<CBMLPackage>();
    boost::shared_ptr<CBMLPackage> child(new CBMLPackage);
    OpenElement(tag, child.get());
    return child;
}

int CBMLPackage::AddPackage(uint16_t tag, CBMLPackage* child)
{
    child->Detach();
    if (m_data == nullptr || Room() < BMLElement::HeaderLength)
        return -1;
    OpenElement(tag, child);
    child->OnWriteAttach();
    return 0;
}

// Writes an empty element header at the write position, commits it, and
// attaches child as a writing window on the element's value.
void CBMLPackage::OpenElement(uint16_t tag, CBMLPackage* child)
{
    const uint32_t room = Room();
    uint8_t* element = m_data + m_length;
    BMLByteOrder::Write16(element, tag);
    std::memset(element + 2, 0, BMLElement::HeaderLength - 2);
    Commit(BMLElement::HeaderLength);
    child->Attach(element + BMLElement::HeaderLength, room - BMLElement::HeaderLength, 0, nullptr);
    child->m_parent = this;
}

int CBMLPackage::GetChild(uint16_t tag, CBMLPackage* child)
{
    if (m_data == nullptr)
        return -1;
    return GetPackage(tag, child);
}

boost::shared_ptr<CBMLRecordSet> CBMLPackage::GetRecordSet(uint16_t tag)
{
    boost::shared_ptr<CBMLRecordSet> set(new CBMLRecordSet);
    GetPackage(tag, set.get());
    return set;
}

int CBMLPackage::GetRecordSet(uint16_t tag, CBMLRecordSet* set)
{
    return GetPackage(tag, set);
}

boost::shared_ptr<CBMLPackage> CBMLPackage::GetPackage(uint16_t tag)
{
    BMLElement::View view;
    if (!FindElement(tag, view))
        return boost::shared_ptr<CBMLPackage>();
    boost::shared_ptr<CBMLPackage> child(new CBMLPackage);
    child->Attach(m_data + view.valueOffset, 0, view.valueLength, nullptr);
    return child;
}

int CBMLPackage::GetPackage(uint16_t tag, CBMLPackage* child)
{
    child->Detach();
    BMLElement::View view;
    if (!FindElement(tag, view))
        return -1;
    child->Attach(m_data + view.valueOffset, 0, view.valueLength, nullptr);
    child->OnReadAttach();
    return 0;
}

CBMLPackage::Value CBMLPackage::FindValue(uint16_t tag)
{
    BMLElement::View view;
    if (!FindElement(tag, view))
        return Value{nullptr, 0};
    return Value{m_data + view.valueOffset, view.valueLength};
}

// Locates the element and checks that its value lies wholly in the window.
bool CBMLPackage::FindElement(uint16_t tag, BMLElement::View& view)
{
    if (m_data == nullptr)
        return false;
    const int at = Locate(tag);
    return at >= 0 && BMLElement::Read(m_data, m_length, static_cast<uint32_t>(at), view);
}

int CBMLPackage::Commit(uint32_t count)
{
    m_length += count;
    if (m_parent != nullptr)
    {
        BMLByteOrder::Write32(m_data - 4, m_length);
        m_parent->Commit(count);
    }
    return 0;
}

uint8_t* CBMLPackage::GetBuffer()
{
    return m_data;
}

uint32_t CBMLPackage::GetLength()
{
    return m_length;
}

// Circular search from the cursor, so fields read in the order they were
// written are found at once. The cursor moves only when the tag is found.
int CBMLPackage::Locate(uint16_t tag)
{
    if (m_data == nullptr || !BMLElement::HeaderFits(m_length, m_cursor))
        return -1;
    const uint32_t start = m_cursor;
    uint32_t q = start;
    bool wrapped = false;
    while (BMLElement::HeaderFits(m_length, q))
    {
        if (BMLByteOrder::Read16(m_data + q) == tag)
        {
            if (q > INT_MAX)
                return -1;
            m_cursor = q;
            return static_cast<int>(q);
        }
        BMLElement::View view;
        if (!BMLElement::Read(m_data, m_length, q, view))
            return -1;
        q = view.next;
        if (q == m_length)
        {
            // A second wrap means the start offset is not on the element
            // chain from 0; stop rather than go round forever.
            if (wrapped)
                return -1;
            wrapped = true;
            q = 0;
        }
        if (q == start)
            return -1;
    }
    return -1;
}

int CBMLPackage::AddRecord(const CBMLFieldMap& map, uint16_t tag)
{
    CBMLPackage child;
    if (AddPackage(tag, &child) != 0 || !child.IsAttached())
        return -1;
    const int n = map.Pack(child.m_data + child.m_length, child.Room());
    if (n < 0)
        return -1;
    child.Commit(static_cast<uint32_t>(n));
    return n;
}
