// The intrusive ring every record of the library is linked by: a record type
// with `next` and `prev` members of its own type. A ring passes through one
// head (an embedded or separately allocated record of the same type); an
// empty ring is a head linked to itself, and a record out of any ring links
// to itself as well.
#ifndef SPRIG_MODEL_RING_H
#define SPRIG_MODEL_RING_H

// Makes `record` a ring of its own (an empty head, or a detached record).
template <class T>
inline void RingInit(T *record) {
  record->next = record;
  record->prev = record;
}

// True when the ring headed by `head` holds nothing but the head.
template <class T>
inline bool RingEmpty(const T *head) {
  return head->next == head;
}

// Links the chain [first, last] (first->prev and last->next are ignored)
// before `position`; with `position` a head, at the end of its ring.
template <class T>
inline void RingLinkChainBefore(T *position, T *first, T *last) {
  first->prev = position->prev;
  position->prev->next = first;
  position->prev = last;
  last->next = position;
}

// Links the chain [first, last] after `position`; with `position` a head, at
// the start of its ring.
template <class T>
inline void RingLinkChainAfter(T *position, T *first, T *last) {
  last->next = position->next;
  position->next->prev = last;
  position->next = first;
  first->prev = position;
}

// Links a detached record before `position` (a head: as the last record).
template <class T>
inline void RingLinkBefore(T *position, T *record) {
  RingLinkChainBefore(position, record, record);
}

// Takes `record` out of its ring, joining its neighbours; it is detached
// (linked to itself) afterwards.
template <class T>
inline void RingUnlink(T *record) {
  record->prev->next = record->next;
  record->next->prev = record->prev;
  record->next = record;
  record->prev = record;
}

#endif
