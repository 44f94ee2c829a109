// Shows the total of the cakes a visitor clicks.
'use strict';

const basket = [];

function priceOf(item) {
  return Number.parseFloat(item.dataset.price) || 0;
}

function total() {
  return basket.reduce((sum, item) => sum + priceOf(item), 0).toFixed(2);
}

document.querySelectorAll('.menu li').forEach((item) => {
  item.addEventListener('click', () => {
    basket.push(item);
    document.title = `Basket: ${total()} €`;
  });
});
