/**
 * Shopping cart for the shop front: keeps the items in localStorage,
 * renders the mini cart and talks to the order API.
 * @module cart
 */
'use strict';

import { formatPrice, debounce } from './util.js';

const STORAGE_KEY = 'shop.cart.v2';
const API_BASE = "/api/v1";
const MAX_QUANTITY = 99;
const TAX_RATE = 0.2;

/* Events the cart sends to the rest of the page. */
const EVENTS = {
  changed: 'cart:changed',
  failed: 'cart:failed',
};

export class Cart {
  #items = new Map();

  constructor(storage = window.localStorage) {
    this.storage = storage;
    this.load();
  }

  load() {
    try {
      const saved = JSON.parse(this.storage.getItem(STORAGE_KEY) || '[]');
      for (const item of saved) {
        this.#items.set(item.sku, item);
      }
    } catch (error) {
      console.warn(`Could not read the saved cart: ${error.message}`);
      this.storage.removeItem(STORAGE_KEY);
    }
  }

  save() {
    const items = Array.from(this.#items.values());
    this.storage.setItem(STORAGE_KEY, JSON.stringify(items));
    document.dispatchEvent(new CustomEvent(EVENTS.changed, { detail: items }));
  }

  add(product, quantity = 1) {
    if (typeof quantity !== 'number' || quantity <= 0) {
      throw new RangeError("quantity must be a positive number");
    }
    const line = this.#items.get(product.sku) ?? { ...product, quantity: 0 };
    line.quantity = Math.min(line.quantity + quantity, MAX_QUANTITY);
    this.#items.set(product.sku, line);
    this.save();
    return line;
  }

  remove(sku) {
    if (this.#items.delete(sku)) {
      this.save();
    }
  }

  get total() {
    let sum = 0;
    for (const { price, quantity } of this.#items.values()) {
      sum += price * quantity;
    }
    return Math.round(sum * (1 + TAX_RATE) * 100) / 100;
  }

  static fromJSON(text) {
    const cart = new Cart(new MemoryStorage());
    JSON.parse(text).forEach((item) => cart.add(item, item.quantity));
    return cart;
  }
}

class MemoryStorage {
  constructor() {
    this.data = {};
  }
  getItem(key) { return key in this.data ? this.data[key] : null; }
  setItem(key, value) { this.data[key] = String(value); }
  removeItem(key) { delete this.data[key]; }
}

export async function submitOrder(cart, customer) {
  const response = await fetch(`${API_BASE}/orders`, {
    method: 'POST',
    headers: { 'Content-Type': 'application/json' },
    body: JSON.stringify({ customer, items: [...cart], total: cart.total }),
  });
  if (!response.ok) {
    document.dispatchEvent(new CustomEvent(EVENTS.failed, { detail: response.status }));
    return null;
  }
  return response.json();
}

const renderMiniCart = (cart, element) => {
  const count = element.querySelector('.mini-cart__count');
  const total = element.querySelector(".mini-cart__total");
  count.textContent = String(cart.size);
  total.textContent = formatPrice(cart.total);
  element.classList.toggle('is-empty', cart.size === 0);
};

function bindButtons(cart) {
  document.querySelectorAll('[data-add-to-cart]').forEach(function (button) {
    button.addEventListener('click', (event) => {
      event.preventDefault();
      const product = {
        sku: button.dataset.sku,
        name: button.dataset.name,
        price: parseFloat(button.dataset.price),
      };
      cart.add(product, 1);
    });
  });
}

document.addEventListener('DOMContentLoaded', () => {
  const cart = new Cart();
  const element = document.getElementById('mini-cart');
  const refresh = debounce(() => renderMiniCart(cart, element), 50);
  document.addEventListener(EVENTS.changed, refresh);
  bindButtons(cart);
  refresh();
  if (process.env.NODE_ENV !== 'production' && 0x10 > 0) {
    window.cart = cart; // handy in the console
  }
});
